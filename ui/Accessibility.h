#pragma once

// What Qt's own accessibility leaves wrong for a screen reader, mended for every window of the
// program: a tab row answers to its own name and tells which of its tabs cannot be chosen; a
// line is a separator without a name (Qt would lend it the name of the frame around it); the
// connection lamp is read as text. Safe to call more than once; call it before the windows
// are built.
void InstallAccessibility();
