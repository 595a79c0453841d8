// The text side of reading a message: turning the To and Cc fields of a
// message being written into the blank-separated list of user ids PGP gets,
// and the splitting of a field into the entries the nickname command is
// sent for. Pure text logic; finding the windows and reading their texts is
// the Win32 glue's business (text_capture_win.cpp).
//
// The rewriting functions work on NUL-terminated single-byte text and
// write only inside the text they were given (or into an output position at
// or before the entry they read). A field is read whole, however many
// recipients it holds: only PGP's command line bounds them, and that is
// checked where the command line is made.
#pragma once

#include <string>

#include "core/command_state.h"
#include "core/text_chars.h"

// Drops leading white space by moving the rest to the front and cuts the
// text after its last character that is not white space. Returns the new
// length. A null text gives 0.
int TrimBlanks(char* text);

// Writes the address of one NUL-terminated entry to `output`, followed by a
// NUL, and returns its length. An entry without '@' is trimmed (inner blanks
// kept) and written whole. Otherwise the address is the run around the first
// '@': backwards to just after the nearest '<' or white space, forwards up to
// '>', white space or the end. `output` may be the entry itself or any
// position before it (the copy is a move); it must not lie after `entry`.
// The entry itself may be changed (trimmed) on the way.
int ExtractAddress(char* entry, char* output);

// If the text holds a '<' before its first '@' and that '@' before a '>' (the
// first of each), replaces the text by what lies strictly between '<' and
// '>' and returns that length (at least 1). Otherwise returns 0 and leaves
// the text as it was.
int ExtractAngleAddress(char* text);

// Rewrites a field's text in place as the addresses of its entries (split at
// ',' and line feed) separated by one blank, and returns the new length.
// Entries that give no address are left out, so a text of nothing but
// separators and blanks gives the empty list and 0. An entry without '@'
// that holds a blank (a name such as "John Q Public") is left out too, and
// named in `leftOut`: PGP would take each of its words for a user id of its
// own and could pick keys nobody meant. The result is never longer than the
// input.
int ReduceAddressList(char* text, LeftOutRecipients* leftOut = nullptr);

// One entry of a field's text as the nickname command selects it: offsets
// into the text, start inclusive, end exclusive.
struct FieldEntry {
  int start = 0;
  int end = 0;
};

// Splits the field's whole text at ',' and carriage return and finds entry
// `index`, counting from 0. An entry that begins with a line feed starts one
// character further on. Returns false when there is no such entry; a text
// of n separators has n+1 entries, the empty text none.
bool FindFieldEntry(const char* text, int index, FieldEntry& entry);

// The To field's text: when it holds neither ',' nor a line feed it is
// taken as one "Name <address>" entry and reduced by ExtractAngleAddress.
// Returns that length, or 0 when the field has to go through
// ReadAddressField instead (`to` then unchanged).
int AngleAddressOfToText(std::string& to);

// Adds the Cc field's reduced list to the To list, after a blank when both
// hold recipients. An empty To list takes the Cc list alone: a message
// written to Cc recipients only is encrypted for them.
void AppendCcRecipients(std::string& recipients, const std::string& cc);
