// The program's command line, any text read as UTF-8 and as UTF-16: the start-up must always
// end with a port from 1 to 16, a known language and a defined extended-mode switch.

#include "shell/MainModule.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool holds, const char* what) {
    if (holds)
        return;
    std::fprintf(stderr, "fuzz_command_line: %s\n", what);
    std::abort();
}

void CheckOptions(const Program& program) {
    Check(program.Options.ComPort >= 1 && program.Options.ComPort <= 16, "the port left 1..16");
    Check(program.State.UILanguage == 0 || program.State.UILanguage == 1,
          "the language is neither Japanese nor English");
    Check(program.State.ExtendedMode == kFalse || program.State.ExtendedMode == kTrue,
          "the extended-mode switch is neither true nor false");
}

void RunStartUp(const QString& commandLine) {
    Program program;
    MainModule::InitProgram(program, commandLine);
    CheckOptions(program);
    // Parsed again on top of a chosen port, as a second start-up would.
    program.Options.ComPort = 16;
    MainModule::ParseCommandLine(program, commandLine);
    CheckOptions(program);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RunStartUp(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    std::u16string utf16(size / 2, u'\0');
    std::memcpy(utf16.data(), data, utf16.size() * sizeof(char16_t));
    RunStartUp(QString::fromStdU16String(utf16));
    return 0;
}
