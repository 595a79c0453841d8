#include "core/command_state_win.h"

#include "core/module_win.h"

RunState runState{};
char MessageText[kMessageTextSize];
char PgpCaption[kCaptionSize];

int LoadModuleString(UINT id, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  int n = LoadStringA(moduleInstance, id, buffer, size);
  if (n <= 0) buffer[0] = '\0';
  return n > 0 ? n : 0;
}

void SetPgpCaption(bool recipientsGiven) {
  char label[kCaptionLabelMax + 1];
  LoadModuleString(CaptionLabelId(runState.function, recipientsGiven), label, sizeof label);
  ComposePgpCaption(PgpCaption, label);
}
