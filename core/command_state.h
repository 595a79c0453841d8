// The state a Run-PGP command shares between the scanner, the capture, the
// driver, the dialogs and the delivery: the two small enumerations and the
// tables that turn a function into the string ids of its caption label and
// its explanation. Pure: the string loading itself happens in the Win32 glue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
constexpr int kMessageTextSize = 256;  // a bounded message: 255 characters and NUL
constexpr int kPathSize = 128;         // paths: 127 characters and NUL

// The longest command line Windows starts a program with: 32,767 characters
// with the terminator. PGP's command line, and with it the recipients, may
// take all of it; nothing shorter bounds them.
constexpr size_t kCommandLineMax = 32766;
// The longest text a message box shows: the system hands it on as one
// string of at most 32,767 UTF-16 characters, terminator included; a longer
// text gives an empty box.
constexpr size_t kMessageBoxTextMax = 32766;

// Size of `clientArguments` in SharedState. The arguments end up in two
// places: the client's command line (256 characters, program part included)
// and, through ComputeSettingsPath, SettingsPath (127 characters). 256 keeps
// every argument that could still fit the larger of the two; anything longer
// could never reach the client intact anyway, so it is cut once, when taken.
constexpr int kClientArgumentsSize = 256;

// The recipients a command could not pass on to PGP (an entry without an
// address), named for the user, ", " between them, every one of them whole.
// An encryption that would leave any of them out is not made: the user is
// told instead.
struct LeftOutRecipients {
  std::string text;
};
void ClearLeftOut(LeftOutRecipients& leftOut);
// Adds one name (blanks around it trimmed; an empty name is not added).
void AddLeftOut(LeftOutRecipients& leftOut, const char* name, size_t length);

