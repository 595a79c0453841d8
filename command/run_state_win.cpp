#include "command/run_state_win.h"

#include "core/message_box_win.h"
#include "core/module_win.h"

void SetPgpCaption(RunState& state, bool recipientsGiven) {
  char label[kCaptionLabelMax + 1];
  LoadModuleString(CaptionLabelId(state.function, recipientsGiven), label, sizeof label);
  ComposePgpCaption(state.PgpCaption, label);
}

void ShowCommandFailure(HWND owner, RunState& state, bool recipientsGiven, const std::string& text) {
  SetPgpCaption(state, recipientsGiven);
  MessageBeep(MB_ICONEXCLAMATION);
  ShowMessageBox(owner, text, MB_OK | MB_ICONEXCLAMATION, state.PgpCaption);
}
