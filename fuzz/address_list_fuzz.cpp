// Feeds arbitrary field texts through the recipient-list reduction. Each
// function gets its own exactly-sized, NUL-terminated copy, so ASan reports
// any write past the end; the checks below are the promises the capture
// code relies on when it sizes the recipients by the reduced length.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command/text_capture.h"

namespace {

std::vector<char> Copy(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  return text;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// The result must be a proper string of the reported length, no longer than
// what went in (in-place safety).
void CheckResult(const std::vector<char>& text, int length, size_t inputLength) {
  Check(length >= 0);
  Check(static_cast<size_t>(length) <= inputLength);
  Check(std::strlen(text.data()) == static_cast<size_t>(length));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> probe = Copy(data, size);
  const size_t inputLength = std::strlen(probe.data());

  std::vector<char> list = Copy(data, size);
  const int reduced = ReduceAddressList(list.data());
  CheckResult(list, reduced, inputLength);
  for (int i = 0; i < reduced; ++i) {
    Check(list[i] != '\n' && list[i] != ',');
  }
  Check(reduced == 0 || (list[0] != ' ' && list[reduced - 1] != ' '));

  std::vector<char> entry = Copy(data, size);
  CheckResult(entry, ExtractAddress(entry.data(), entry.data()), inputLength);

  std::vector<char> angle = Copy(data, size);
  const int angleLength = ExtractAngleAddress(angle.data());
  CheckResult(angle, angleLength == 0 ? static_cast<int>(inputLength) : angleLength, inputLength);
  if (angleLength == 0) Check(std::memcmp(angle.data(), probe.data(), probe.size()) == 0);

  std::vector<char> trimmed = Copy(data, size);
  const int trimLength = TrimBlanks(trimmed.data());
  CheckResult(trimmed, trimLength, inputLength);
  Check(trimLength == 0 || (!IsBlank(trimmed[0]) && !IsBlank(trimmed[trimLength - 1])));

  FieldEntry field;
  for (int i = 0; FindFieldEntry(probe.data(), i, field); ++i) {
    Check(0 <= field.start && field.start <= field.end);
    Check(static_cast<size_t>(field.end) <= inputLength);
    Check(static_cast<size_t>(i) <= inputLength);
  }

  // Nothing of either list is lost when the Cc list is added.
  const std::string to(probe.data(), inputLength / 2);
  const std::string cc(probe.data() + inputLength / 2);
  std::string recipients = to;
  AppendCcRecipients(recipients, cc);
  Check(recipients == (to.empty() || cc.empty() ? to + cc : to + " " + cc));
  return 0;
}
