// The one refusal that every modal window of the module passes before it opens: message boxes,
// dialogs, menus, the folder browser, the save-file dialog, help. Once the window that would
// own one is closing, nobody may be there to answer it, and the close would wait for a person.
// Which windows are closing is the toolkit's knowledge: it installs the test; without one
// nothing is refused.
#pragma once

#include <windows.h>

using ModalRefusalTest = bool (*)(HWND owner);
void SetModalRefusalTest(ModalRefusalTest test);  // null: nothing is refused

// True when a modal window may open over owner. Otherwise false, and the request (what: the
// box's text, the dialog's title) goes to the trace log instead.
bool MayOpenModalWindow(HWND owner, const char* what);
