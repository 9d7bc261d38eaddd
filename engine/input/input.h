// Keyboard, mouse and joypads: key states indexed by DirectInput key codes, pad
// states with the keyboard merged through KeyToPadMap, any-input checks and pad
// vibration. DirectInput 7, else 8, else the winmm joystick fallback.
#pragma once
#include <cstdint>

struct DIJOYSTATE;

// Bit 0 down, 1 left, 2 right, 3 up, bits 4-27 buttons 0-23; 28-31 mapped keys only.
typedef int PadState;

// Input types: the low 12 bits hold a pad number (1 = first pad); adding this
// merges the keyboard through that pad's key map (pad 1's for pad number 0).
enum { INPUT_TYPE_KEYBOARD = 0x1000 };

// Start and end.
int InitInput();
int EndInput();
int SetupJoypads();
int ReleaseJoypads();
int ReacquireInputDevices();

// Refreshes the key state (the pump calls it every pass); 1 when refreshed.
int UpdateKeyboardState();
// Reads pad index 0-15; -1 for a bad index or when the pump reports the end.
int UpdatePadState(int pad_index);

// Queries. They wait while the window is inactive and start input when it is not.
int CheckKeyDown(int key_code);
int GetAllKeyStates(unsigned char* out);       // out[256]: 1 down, 0 up
PadState GetPadState(int input_type);
int CheckAnyInput(int flags);                  // 1 keys and pads, 4 mouse
int GetMouseButtons();

// Called by the window procedure for the private messages 0x46F and 0x470.
int SetF10HookFlag();
int ClearF10HookFlag();
int SetSysKeyHookFlag();
int ClearSysKeyHookFlag();

// Vibration. Power 0..1000 (-1 keeps the stored power), length in ms (-1 until stopped).
int StartPadVibration(int input_type, int power, int length_ms);
int StopPadVibration(int input_type);
int UpdatePadVibration();
int ApplyPadEffects();

// Settings kept across EndInput/InitInput. The program never sets them; they
// select the fallback mode, pads without effects and the DirectInput keyboard
// on Windows Vista and later.
int SetDirectInputOffFlag(int flag);
int GetDirectInputOffFlag();
int SetForceFeedbackOffFlag(int flag);
int SetDirectInputKeyboardFlag(int flag);

// State seen from outside (diagnostics and tests).
int IsInputStarted();          // 0 not started, 1 DirectInput, 2 fallback mode
int GetJoypadCount();
int GetKeyToPadMap(int pad_index, int map_out[32][4]);

// Pure helpers the device code is built from.
// Raw winmm axis value 0..65535 to -1000..1000, the middle half reading 0.
int MapFallbackAxis(uint32_t raw);
// Zeroes key_state and fills it from a window-system key array through VkToDikTable.
void RebuildKeyStateFromVk(const unsigned char vk_state[256], unsigned char key_state[256]);
// Direction and button bits of a joystick state (null: none) plus the keys of a
// key map (null key state or map: none).
PadState ComposePadState(const DIJOYSTATE* joy, const unsigned char* key_state, const int (*map)[4]);
// The lowest down key code skipping Kanji, Caps Lock and Kana; DIK_F10 when
// none is down and the F10 hook flag is set; else 0.
int ScanAnyKey(const unsigned char key_state[256], int f10_hook);
