// The state a Run-PGP command shares between the scanner, the capture, the
// driver, the dialogs and the delivery: the two small enumerations and the
// tables that turn a function into the string ids of its caption label and
// its explanation. Pure: the string loading itself happens in the Win32 glue.
#pragma once

#include <cstddef>
#include <cstdint>

// Where the text of a command came from. The values are stored and compared
// as plain integers by the Win32 layer, so they are fixed.
enum WindowKind : int32_t {
  NoWindow = 0,
  MessageWindow = 1,      // read-only view of a received message
  CompositionWindow = 2,  // body of a message being written
};

// The operation of a command. The scanner's ArmorKind lands in the same cell
// unchanged, so the numbers of the two types agree.
enum PgpFunction : int32_t {
  Decode = 0,
  CheckSignature = 1,
  Encrypt = 2,
  AddKey = 3,
  NoFunction = 4,
};

// The kind of an armoured block, numbered like PgpFunction.
enum ArmorKind : int32_t {
  Message = 0,    // -> Decode
  Signed = 1,     // -> CheckSignature
  None = 2,       // -> Encrypt (nothing found)
  PublicKey = 3,  // -> AddKey
};

inline PgpFunction FunctionFromArmor(ArmorKind kind) { return static_cast<PgpFunction>(kind); }

// String id of the caption label that SetPgpCaption puts after " PGP - ".
// For Encrypt the label says "Clearsign " when no recipient is given.
int CaptionLabelId(PgpFunction function, bool recipientsGiven);

// String id of the explanation the confirmation dialog shows when it opens:
// what was found and what PGP will do with it (for Encrypt, the clearsigning
// text; the dialog itself switches to the encryption text once recipients
// are given), and for NoFunction the word "Functions".
int ExplanationId(PgpFunction function);

// " PGP - " followed by the label, at most 56 characters of it, into a
// 64-character caption. The label text is passed in because loading it is
// the platform's business.
constexpr int kCaptionSize = 64;
constexpr int kCaptionLabelMax = 56;
constexpr char kCaptionPrefix[] = " PGP - ";

// The caption of every box outside a Run-PGP command (start-up, settings,
// the button, questions about files).
constexpr char kQuillnetCaption[] = "Quillnet";
void ComposePgpCaption(char (&caption)[kCaptionSize], const char* label);

// Buffer sizes shared across the module.
constexpr int kMessageTextSize = 256;  // MessageText: 255 characters and NUL
constexpr int kRecipientsSize = 112;   // recipients: 111 characters and NUL
constexpr int kPathSize = 128;         // paths: 127 characters and NUL

// Size of `clientArguments` in SharedState. The arguments end up in two
// places: the client's command line (256 characters, program part included)
// and, through ComputeSettingsPath, SettingsPath (127 characters). 256 keeps
// every argument that could still fit the larger of the two; anything longer
// could never reach the client intact anyway, so it is cut once, when taken.
constexpr int kClientArgumentsSize = 256;

// The recipients a command could not pass on to PGP (a list too long for
// its 111 characters, an entry without an address, an EncryptFor that no
// longer fits), named for the user, ", " between them. An encryption that
// would leave any of them out is not made: the user is told instead.
struct LeftOutRecipients {
  char text[kMessageTextSize];  // ends in "..." when the names did not all fit
  bool cut;
};
void ClearLeftOut(LeftOutRecipients& leftOut);
// Adds one name (blanks around it trimmed; an empty name is not added).
void AddLeftOut(LeftOutRecipients& leftOut, const char* name, size_t length);

