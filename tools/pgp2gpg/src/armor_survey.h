// A look at a decode input before gpg sees it: which PGP block comes first,
// and whether anything but blank lines lies outside it. Fed in chunks so
// that a large file is never held whole; it keeps only the head of the
// current line. Pure.
#pragma once

#include <string>
#include <string_view>

namespace pgp2gpg {

enum class BlockKind { None, Message, SignedMessage };

class ArmorSurvey {
 public:
  void Feed(std::string_view chunk);
  void Finish();  // the last line may lack its line end

  BlockKind kind() const { return kind_; }
  bool complete() const { return state_ == State::After; }
  bool textBefore() const { return textBefore_; }  // non-blank text before the block
  bool textAfter() const { return textAfter_; }    // non-blank text (or a second block) after it
  bool sawKeyBlock() const { return sawKeyBlock_; }

 private:
  enum class State { Before, Inside, After };
  void EndLine();

  static constexpr size_t kHeadSize = 40;  // longer than every armour line we match
  std::string head_;
  bool lineHasText_ = false;
  State state_ = State::Before;
  BlockKind kind_ = BlockKind::None;
  bool textBefore_ = false;
  bool textAfter_ = false;
  bool sawKeyBlock_ = false;
};

}  // namespace pgp2gpg
