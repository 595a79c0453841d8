// The text rules the module relies on through the client: line ends, the
// 76-column wrap that precedes every capture of a composition, and the
// nickname expansion that turns To and Cc entries into addresses.
#include <gtest/gtest.h>

#include <algorithm>

#include "testbed/mailclient/mail_text.h"

namespace {

using namespace mailtext;

struct Row {
  std::string input;
  std::string expected;
};

class ToCrlfTest : public testing::TestWithParam<Row> {};

TEST_P(ToCrlfTest, GivesCrlfLineEnds) { EXPECT_EQ(ToCrlf(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(LineEnds, ToCrlfTest,
                         testing::Values(Row{"a\nb\n", "a\r\nb\r\n"}, Row{"a\r\nb", "a\r\nb"},
                                         Row{"a\rb\r", "a\r\nb\r\n"}, Row{"\n\n", "\r\n\r\n"},
                                         Row{"a\r\n\nb", "a\r\n\r\nb"}, Row{"", ""},
                                         Row{"no end", "no end"}));

std::string Repeat(const std::string& word, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += (i ? " " : "") + word;
  return out;
}

class WrapLinesTest : public testing::TestWithParam<Row> {};

TEST_P(WrapLinesTest, BreaksOnlyLinesLongerThan76) {
  std::string wrapped = WrapLines(GetParam().input);
  EXPECT_EQ(wrapped, GetParam().expected);
  // Wrapping twice changes nothing more: the client's own check for "no
  // change" relies on it.
  EXPECT_EQ(WrapLines(wrapped), wrapped);
}

const std::string k76(76, 'x');
// 19 words of 3 letters and a blank are 75 characters: 76 with one more blank.
const std::string kWords19 = Repeat("abc", 19);

INSTANTIATE_TEST_SUITE_P(
    Columns, WrapLinesTest,
    testing::Values(
        Row{k76, k76},                                           // exactly 76: kept
        Row{k76 + "\r\n" + k76, k76 + "\r\n" + k76},             // line ends kept
        Row{kWords19 + " defg", kWords19 + "\r\ndefg"},          // 80 long: break at the last blank
        Row{std::string(76, 'a') + " b", std::string(76, 'a') + "\r\nb"},  // blank at column 76
        Row{Repeat("abcd", 40),
            Repeat("abcd", 15) + "\r\n" + Repeat("abcd", 15) + "\r\n" + Repeat("abcd", 10)},
        Row{std::string(90, 'y') + " tail", std::string(90, 'y') + "\r\ntail"},  // long word stays whole
        Row{std::string(100, 'z'), std::string(100, 'z')},       // nothing to break at
        Row{"   " + std::string(80, 'w'), "   " + std::string(80, 'w')},  // indent is no break
        Row{kWords19 + "      " + "tail", kWords19 + "\r\ntail"},  // blanks at the break go
        Row{kWords19 + " defg\nnext", kWords19 + "\r\ndefg\nnext"},  // LF line ends stay LF
        Row{"", ""}));

TEST(WrapLines, NoLineOfTheResultIsLongerThanTheWidthWhenWordsAreShort) {
  std::string text = Repeat("pgp", 400) + "\r\n" + Repeat("mail", 300);
  std::string wrapped = WrapLines(text);
  size_t start = 0;
  while (start < wrapped.size()) {
    size_t end = wrapped.find("\r\n", start);
    if (end == std::string::npos) end = wrapped.size();
    EXPECT_LE(end - start, kWrapColumn);
    start = end + 2;
  }
  // Only line breaks were put in place of blanks: the words are all there.
  std::string joined;
  for (char c : wrapped) joined += (c == '\r') ? ' ' : (c == '\n' ? '\0' : c);
  joined.erase(std::remove(joined.begin(), joined.end(), '\0'), joined.end());
  EXPECT_EQ(joined, text.substr(0, text.find('\r')) + " " + text.substr(text.find('\n') + 1));
}

std::vector<Nickname> Table() {
  return ParseNicknames(
      "alias alice Alice Example <alice@example.org>\r\n"
      "  alias bob   bob@example.net  \n"
      "alias team alice, bob, carol@example.com\n"
      "alias \"night shift\" team, dave@example.com\n"
      "alias loop1 loop2, x@example.com\n"
      "alias loop2 loop1\n"
      "note alice this line is a note\n"
      "aliasnoblank x\n"
      "alias \"unclosed x\n"
      "\n");
}

TEST(ParseNicknames, ReadsAliasLinesOnly) {
  std::vector<Nickname> table = Table();
  ASSERT_EQ(table.size(), 6u);
  EXPECT_EQ(table[0].name, "alice");
  EXPECT_EQ(table[0].addresses, "Alice Example <alice@example.org>");
  EXPECT_EQ(table[1].name, "bob");
  EXPECT_EQ(table[1].addresses, "bob@example.net");
  EXPECT_EQ(table[3].name, "night shift");
  EXPECT_EQ(table[3].addresses, "team, dave@example.com");
}

class FinishNicknameTest : public testing::TestWithParam<Row> {};

TEST_P(FinishNicknameTest, ReplacesANicknameAndKeepsTheBlanksAround) {
  std::optional<std::string> result = FinishNickname(GetParam().input, Table());
  EXPECT_EQ(result.value_or("<none>"), GetParam().expected) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, FinishNicknameTest,
    testing::Values(
        Row{"alice", "Alice Example <alice@example.org>"},
        Row{" bob", " bob@example.net"},                     // entry after a comma
        Row{"\nBOB \r", "\nbob@example.net \r"},             // any case, line breaks kept
        Row{"team", "Alice Example <alice@example.org>, bob@example.net, carol@example.com"},
        Row{"night shift",
            "Alice Example <alice@example.org>, bob@example.net, carol@example.com, "
            "dave@example.com"},
        Row{"loop1", "loop1, x@example.com"},  // a loop stops at the nickname already open
        Row{"carol", "<none>"}, Row{"", "<none>"}, Row{"   ", "<none>"},
        Row{"alice@example.org", "<none>"}, Row{"note", "<none>"}));

TEST(HeaderValue, FindsHeadersBeforeTheFirstEmptyLineOnly) {
  std::string message =
      "From: Alice <a@example.org>\r\nsubject:  Hello there \r\n\r\nTo: not a header\r\n";
  EXPECT_EQ(HeaderValue(message, "From"), "Alice <a@example.org>");
  EXPECT_EQ(HeaderValue(message, "Subject"), "Hello there");
  EXPECT_EQ(HeaderValue(message, "To"), "");
  EXPECT_EQ(HeaderValue("Just text: with a colon", "Just text"), "");
}

TEST(BodyOf, SkipsTheHeaderBlock) {
  EXPECT_EQ(BodyOf("From: a\nSubject: b\n\nbody\nmore"), "body\nmore");
  EXPECT_EQ(BodyOf("From: a\r\n\r\nbody"), "body");
  EXPECT_EQ(BodyOf("no headers here\n\nbody"), "no headers here\n\nbody");
  EXPECT_EQ(BodyOf("\nbody"), "\nbody");
  EXPECT_EQ(BodyOf("From: a"), "From: a");
}

TEST(QuoteLines, MarksEveryLineIncludingEmptyOnes) {
  EXPECT_EQ(QuoteLines("-----BEGIN PGP MESSAGE-----\r\n\r\nabc\r\n"),
            ">-----BEGIN PGP MESSAGE-----\r\n>\r\n>abc\r\n");
  EXPECT_EQ(QuoteLines("a\nb", "> "), "> a\n> b");
  EXPECT_EQ(QuoteLines(""), "");
}

TEST(ReplySubject, AddsReOnce) {
  EXPECT_EQ(ReplySubject("Hello"), "Re: Hello");
  EXPECT_EQ(ReplySubject("RE: Hello"), "RE: Hello");
  EXPECT_EQ(ReplySubject(" "), "Re: ");
}

TEST(DisplayName, TakesTheNamePart) {
  EXPECT_EQ(DisplayName("Alice Example <alice@example.org>"), "Alice Example");
  EXPECT_EQ(DisplayName("\"Bob, B.\" <bob@example.net>"), "Bob, B.");
  EXPECT_EQ(DisplayName("<carol@example.com>"), "carol@example.com");
  EXPECT_EQ(DisplayName(" dave@example.com "), "dave@example.com");
}

class AttachmentLinesTest : public testing::TestWithParam<Row> {};

TEST_P(AttachmentLinesTest, PutsTheFolderBeforeRelativePaths) {
  EXPECT_EQ(ResolveAttachmentLines(GetParam().input, "Attachment Converted: ", "C:\\mail"),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AttachmentLinesTest,
    testing::Values(
        Row{"Attachment Converted: attach\\a.asc\r\n", "Attachment Converted: C:\\mail\\attach\\a.asc\r\n"},
        Row{"Attachment Converted: D:\\x.asc", "Attachment Converted: D:\\x.asc"},
        Row{"Attachment Converted: \\\\server\\x", "Attachment Converted: \\\\server\\x"},
        Row{" Attachment Converted: a.asc", " Attachment Converted: a.asc"},  // not at line start
        Row{"Attachment Converted: ", "Attachment Converted: "},
        Row{"x\nAttachment Converted: b\n", "x\nAttachment Converted: C:\\mail\\b\n"}));

TEST(FirstArgument, TakesTheFirstWordOrQuotedPath) {
  EXPECT_EQ(FirstArgument("D:\\MAIL D:\\EUDORA\\EUDORA.INI"), "D:\\MAIL");
  EXPECT_EQ(FirstArgument("  \"C:\\My Mail\" x"), "C:\\My Mail");
  EXPECT_EQ(FirstArgument("\"C:\\open"), "C:\\open");
  EXPECT_EQ(FirstArgument("   "), "");
}

}  // namespace
