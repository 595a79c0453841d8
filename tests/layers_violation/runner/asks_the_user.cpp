// A runner file that opens a message box itself: the layers check must refuse it.
#include <windows.h>
void Complain() { MessageBoxW(nullptr, L"", L"", MB_OK); }
