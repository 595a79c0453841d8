#include "gpg_args.h"

#include <optional>
#include <string_view>

#include "key_listing.h"

namespace pgp2gpg {

bool NeedsPassPhrase(const PgpCommand& command, bool encryptedInput) {
  switch (command.operation) {
    case Operation::Decode: return encryptedInput;
    case Operation::Encrypt: return command.sign;
    case Operation::Sign:
    case Operation::ClearSign: return true;
    case Operation::Help:
    case Operation::AddKey: break;
  }
  return false;
}

std::string RecipientForGpg(const std::string& userId) {
  constexpr std::string_view kGpgSearchForms = "=<@*+#&";
  if (userId.empty() || kGpgSearchForms.find(userId.front()) != std::string_view::npos) {
    return userId;
  }
  const std::optional<std::string> mailbox = MailboxOf(userId);
  return mailbox ? "<" + *mailbox + ">" : userId;
}

std::vector<std::string> KeyListingArguments(const std::vector<std::string>& fingerprints) {
  std::vector<std::string> args = {"--batch", "--no-auto-key-retrieve", "--with-colons",
                                   "--list-keys", "--"};
  args.insert(args.end(), fingerprints.begin(), fingerprints.end());
  return args;
}

std::vector<std::string> ImportPreviewArguments(const std::string& file) {
  return {"--batch", "--no-auto-key-retrieve", "--with-colons", "--import-options", "show-only",
          "--import", "--", file};
}

std::vector<std::string> BuildGpgArguments(const GpgRunPlan& plan) {
  const PgpCommand& command = *plan.command;
  std::vector<std::string> args = {"--batch", "--no-auto-key-retrieve", "--status-fd", "1"};
  if (plan.passPhraseOnStdin) {
    // Loopback makes gpg take the pass phrase from us instead of letting the
    // agent ask; without PGPPASS the agent's own pinentry asks as usual.
    args.insert(args.end(), {"--pinentry-mode", "loopback", "--passphrase-fd", "0"});
  }
  if (command.operation == Operation::AddKey) {
    args.insert(args.end(), {"--import", "--", command.file});
    return args;
  }
  // The output file is one we have just made ourselves (so that nobody else
  // can have put something there); --yes lets gpg write into it.
  args.insert(args.end(), {"--yes", "--output", plan.outputPath});
  if (command.armor) args.push_back("--armor");
  if (command.textMode) args.push_back("--textmode");
  switch (command.operation) {
    case Operation::Decode: args.push_back("--decrypt"); break;
    case Operation::Encrypt:
      // A recipient without a key here is refused, never looked up on the
      // network: the lookup alone would tell a server whom the user writes to.
      args.insert(args.end(), {"--auto-key-locate", "local", "--encrypt"});
      if (command.sign) args.push_back("--sign");
      for (const std::string& userId : command.userIds) {
        args.insert(args.end(), {"-r", RecipientForGpg(userId)});
      }
      break;
    case Operation::Sign: args.push_back("--sign"); break;
    case Operation::ClearSign: args.push_back("--clearsign"); break;
    case Operation::Help:
    case Operation::AddKey: break;
  }
  args.insert(args.end(), {"--", command.file});
  return args;
}

}  // namespace pgp2gpg
