// The text side of reading a message: turning the To and Cc fields of a
// message being written into the blank-separated list of user ids PGP gets,
// and the splitting of a field into the entries the nickname command is
// sent for. Pure text logic; finding the windows and reading their texts is
// the Win32 glue's business (text_capture_win.cpp).
//
// Every function here works on NUL-terminated single-byte text and writes
// only inside the text it was given (or into an output position at or
// before the entry it reads), so it is safe on the fixed buffers of
// RunState and MessageText.
#pragma once

#include "core/command_state.h"

// The longest recipient list: recipients holds 111 characters and the NUL.
constexpr int kRecipientsMax = kRecipientsSize - 1;
// A header field is read with at most this many characters.
constexpr int kFieldTextMax = kMessageTextSize - 1;

// White space for trimming and for the ends of an address: codes 9-13, 32.
bool IsBlank(char c);

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

// A reduced list of kRecipientsSize or more characters is cut at the last
// blank at or before index kRecipientsMax: the blank becomes the NUL and the
// length that index. With no blank there the list becomes empty. A shorter
// list is left alone. `length` is the list's length; returns the new one.
// The addresses cut off are named in `leftOut`.
int CutAddressList(char* list, int length, LeftOutRecipients* leftOut = nullptr);

// One entry of a field's text as the nickname command selects it: offsets
// into the text, start inclusive, end exclusive.
struct FieldEntry {
  int start = 0;
  int end = 0;
};

// Splits the field's text (at most kFieldTextMax characters are looked at)
// at ',' and carriage return and finds entry `index`, counting from 0. An
// entry that begins with a line feed starts one character further on.
// Returns false when there is no such entry; a text of n separators has n+1
// entries, the empty text none.
bool FindFieldEntry(const char* text, int index, FieldEntry& entry);

// The To field's text already in `recipients`: when it holds neither ','
// nor a line feed it is taken as one "Name <address>" entry and reduced by
// ExtractAngleAddress. Returns that length, or 0 when the field has to go
// through ReadAddressField instead (recipients then unchanged).
int AngleAddressOfToText(char* recipients);

// Adds the Cc field's reduced list to the To list: a blank and `cc` are
// appended only when both lists are non-empty and their lengths add up to
// less than kRecipientsMax, so the result always fits. Otherwise the Cc
// list is left out whole, and its addresses are named in `leftOut`.
// Returns the length of `recipients`.
int AppendCcRecipients(char (&recipients)[kRecipientsSize], const char* cc,
                       LeftOutRecipients* leftOut = nullptr);
