// Scripted Imm32 entries and WINNLSEnableIME that log every call, and a fixture
// that leaves no text input and the IME off behind each test.
#pragma once
#include <string>
#include <vector>

#include "engine/input/text_input_state.h"
#include "input_test_util.h"
#include "system/log_capture.h"

struct FakeImm {
    std::vector<std::string> calls;
    // GCS_* index -> bytes written (no terminator) and the count returned.
    struct Answer { DWORD index; std::string bytes; LONG result; };
    std::vector<Answer> answers;
    LONG cursor_pos = 0;
    BOOL open = 0;
    DWORD candidate_size = 64;
    DWORD candidate_fill_result = 64;
    std::vector<int> enable_ime;      // WINNLSEnableIME values
    std::string set_composition;      // last ImmSetCompositionStringA text
};
inline FakeImm g_imm;
const HIMC kFakeContext = (HIMC)0x1234;

inline void Called(const std::string& what) { g_imm.calls.push_back(what); }
inline HIMC WINAPI FakeImmGetContext(HWND) { return Called("GetContext"), kFakeContext; }
inline BOOL WINAPI FakeImmReleaseContext(HWND, HIMC) { return Called("Release"), TRUE; }
inline BOOL WINAPI FakeImmGetOpenStatus(HIMC) { return Called("GetOpenStatus"), g_imm.open; }
inline BOOL WINAPI FakeImmSetOpenStatus(HIMC, BOOL open) { return Called("SetOpenStatus " + std::to_string(open)), TRUE; }
inline BOOL WINAPI FakeImmNotifyIME(HIMC, DWORD action, DWORD index, DWORD) {
    return Called("NotifyIME " + std::to_string(action) + " " + std::to_string(index)), TRUE;
}
inline DWORD WINAPI FakeImmGetCandidateListA(HIMC, DWORD, LPCANDIDATELIST list, DWORD size) {
    if (!list) return g_imm.candidate_size;
    memset(list, 0xC5, size);
    return g_imm.candidate_fill_result;
}
inline LONG WINAPI FakeImmGetCompositionStringA(HIMC, DWORD index, LPVOID buffer, DWORD size) {
    Called("GetCompositionString " + std::to_string(index));
    if (index == GCS_CURSORPOS) return g_imm.cursor_pos;
    for (const auto& a : g_imm.answers) {
        if (a.index != index) continue;
        memcpy(buffer, a.bytes.data(), a.bytes.size() < size ? a.bytes.size() : size);
        return a.result;
    }
    return 0;
}
inline BOOL WINAPI FakeImmSetCompositionStringA(HIMC, DWORD index, LPVOID text, DWORD length, LPVOID, DWORD) {
    Called("SetCompositionString " + std::to_string(index) + " " + std::to_string(length));
    g_imm.set_composition.assign((const char*)text, length);
    return TRUE;
}
inline BOOL WINAPI FakeWINNLSEnableIME(HWND, BOOL on) { return g_imm.enable_ime.push_back(on), TRUE; }

class TextInputEngine : public InputEngine {
  protected:
    void SetUp() override {
        InputEngine::SetUp();
        g_imm = FakeImm();
        WinApi.WINNLSEnableIME = FakeWINNLSEnableIME;
    }
    void TearDown() override {
        DeleteAllTextInputs();
        SetImeEnabled(0);
        InputEngine::TearDown();
    }
    static void InstallFakeImm() {
        WinApi.ImmGetContext = FakeImmGetContext;
        WinApi.ImmReleaseContext = FakeImmReleaseContext;
        WinApi.ImmGetOpenStatus = FakeImmGetOpenStatus;
        WinApi.ImmSetOpenStatus = FakeImmSetOpenStatus;
        WinApi.ImmNotifyIME = FakeImmNotifyIME;
        WinApi.ImmGetCandidateListA = FakeImmGetCandidateListA;
        WinApi.ImmGetCompositionStringA = FakeImmGetCompositionStringA;
        WinApi.ImmSetCompositionStringA = FakeImmSetCompositionStringA;
    }
    static LRESULT Send(UINT message, WPARAM wparam, LPARAM lparam) {
        return SendMessageA(GetMainWindow(), message, wparam, lparam);
    }
    // Everything in the queue, popped.
    static std::string DrainQueue() {
        std::string out;
        char ch[2];
        for (int n; (n = PopInputChar(ch, 1)) > 0;) out.append(ch, n);
        return out;
    }
    static void Queue(const std::string& bytes) {
        for (char c : bytes) PushInputChar((unsigned char)c);
    }
};
