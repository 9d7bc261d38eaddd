// Collects every piece the log emits while alive.
#pragma once
#include <string>

#include "engine/system/log.h"

struct LogCapture {
    std::string text;
    LogCapture() { SetLogCapture(&Collect, this); }
    ~LogCapture() { SetLogCapture(nullptr, nullptr); }
    bool Has(const char* s) const { return text.find(s) != std::string::npos; }
    static void Collect(const char* piece, void* user) { ((LogCapture*)user)->text += piece; }
};
