#include "ui/main/frmMain.h"

#include "link/ComSupport.h"

// The controller, file, Options and About commands. Each first takes over a number the
// operator is still typing, so the command works on what the window shows.

void frmMain::CmdConnect_Click() {
    TakePendingEntry();
}

void frmMain::CmdLoad_Click() {
    TakePendingEntry();
}

void frmMain::CmdStore_Click() {
    TakePendingEntry();
}

void frmMain::Disconnect() {}

void frmMain::mnuFileOpen_Click() {
    TakePendingEntry();
}

void frmMain::mnuFileClose_Click() {
    TakePendingEntry();
}

void frmMain::mnuFileSave_Click() {
    TakePendingEntry();
}

void frmMain::mnuFileSaveAs_Click() {
    TakePendingEntry();
}

void frmMain::mnuFileExit_Click() {
    TakePendingEntry();
    ComSupport::ComClose();
    UnloadMainWindow();
}

void frmMain::mnuToolsOptions_Click() {
    TakePendingEntry();
}

void frmMain::mnuHelpAbout_Click() {
    TakePendingEntry();
}
