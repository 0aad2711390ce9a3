#include "tests/support/Reset.h"

#include "files/FileModule.h"
#include "link/ComSupport.h"
#include "shell/MainModule.h"

namespace testing {

void ResetCore(const QString& commandLine) {
    ComSupport::ComClose();
    ComSupport::Link = LinkState{};
    MainModule::InitProgram(commandLine);
    ComSupport::ComInit(MainModule::Options.ComPort, MainModule::Options.ComSpeed);
    FileModule::ConfigFileHeader.fill(0);
    FileModule::ConfigFileParams1.fill(0);
    FileModule::ConfigFileParams2.fill(0);
}

} // namespace testing
