#include "upgrade/publish/PublishTool.h"

#include "http/auUtils.h"
#include "upgrade/auInfoSignature.h"
#include "upgrade/publish/InfoFileEdit.h"

#include <QFile>
#include <QSaveFile>

#include <openssl/crypto.h>

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>
#include <set>

namespace {

constexpr const char* Usage = R"(Usage: shopscope-publish COMMAND FILE [OPTIONS]

Prepares the upgrade info file (Upgrader.inf) that Shopscope fetches: adds
the SHA-256 of every file it lists and signs it with the maker's Ed25519 key.
A program built with SHOPSCOPE_UPGRADE_PUBLIC_KEY accepts only info files
signed by that key, and installs only files with the hashes they give.

Commands:
  keygen PRIVATE-KEY-FILE [--public-out FILE]
      Makes a new key pair. Writes the private key (unencrypted PKCS #8 PEM,
      readable by its owner only) to PRIVATE-KEY-FILE, which must not exist,
      and prints the public key: the text SHOPSCOPE_UPGRADE_PUBLIC_KEY takes.
      --public-out writes that text to FILE as well.
  hash INFO-FILE (--dir FOLDER | --file KEY=PATH ...) [--output FILE]
      Computes the SHA-256 of every file the info file lists and writes one
      #sha256-KEY= line for each url entry KEY (url, url0, url1, ...) at the
      end, replacing any such lines there were. The local copy of each file
      is FOLDER/NAME, NAME being the last path segment of its address with
      its %xx escapes decoded (the name Shopscope stores the download under;
      an escaped "/" stays escaped), or PATH where --file KEY=PATH names it.
      A signature the file had is removed: sign it again.
  sign INFO-FILE --key PRIVATE-KEY-FILE [--resign] [--output FILE]
      Appends the #signature-ed25519= line. The info file must carry the
      hash of every file it lists (run hash first), except with method 2. A
      file that is signed already is refused unless --resign is given.
  verify INFO-FILE (--public-key TEXT | --public-key-file FILE)
                   [--dir FOLDER | --file KEY=PATH ...]
      Checks the signature against the public key and that every listed file
      has its hash; with --dir or --file, also checks local files' hashes.

Without --output, hash and sign replace INFO-FILE. Every file is written
aside and then renamed into place, so a failure leaves the old one intact.

Options:
  -o, --output FILE   write the result to FILE instead
  -h, --help          show this help and exit

Exit status:
  0  success
  1  verification failed (verify only)
  2  usage error: wrong arguments, or a file the command cannot take as it is
  3  I/O error: a file could not be read or written
)";

// How a command ends when it cannot go on: reported by RunPublishTool.
struct TFailure {
    TPublishExit Code;
    std::string Message;
};

[[noreturn]] void Fail(TPublishExit Code, std::string Message)
{
    throw TFailure{Code, std::move(Message)};
}

// ---- Arguments -----------------------------------------------------------------

enum TOptionKind { okFlag, okOnce, okRepeated };

struct TCommandRule {
    std::string_view Name;
    std::map<std::string, TOptionKind, std::less<>> Options;
};

const TCommandRule CommandRules[] = {
    {"keygen", {{"public-out", okOnce}}},
    {"hash", {{"dir", okOnce}, {"file", okRepeated}, {"output", okOnce}}},
    {"sign", {{"key", okOnce}, {"resign", okFlag}, {"output", okOnce}}},
    {"verify", {{"public-key", okOnce}, {"public-key-file", okOnce}, {"dir", okOnce}, {"file", okRepeated}}},
};

struct TArguments {
    std::string Command;
    std::string File;
    std::map<std::string, std::vector<std::string>, std::less<>> Options;

    bool Has(std::string_view Name) const { return Options.find(Name) != Options.end(); }
    std::string Value(std::string_view Name) const
    {
        const auto found = Options.find(Name);
        return found == Options.end() ? std::string() : found->second.front();
    }
    std::vector<std::string> Values(std::string_view Name) const
    {
        const auto found = Options.find(Name);
        return found == Options.end() ? std::vector<std::string>() : found->second;
    }
};

bool WantsHelp(const std::vector<std::string>& Args)
{
    if (!Args.empty() && Args.front() == "help")
        return true;
    for (const std::string& arg : Args) {
        if (arg == "--")
            return false;
        if (arg == "--help" || arg == "-h")
            return true;
    }
    return false;
}

TArguments ParseArguments(const std::vector<std::string>& Args)
{
    if (Args.empty())
        Fail(peUsage, "no command given (try --help)");
    TArguments parsed;
    parsed.Command = Args.front();
    const auto rule = std::find_if(std::begin(CommandRules), std::end(CommandRules),
                                   [&](const TCommandRule& r) { return r.Name == parsed.Command; });
    if (rule == std::end(CommandRules))
        Fail(peUsage, "unknown command \"" + parsed.Command + "\" (try --help)");
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        if (optionsEnded || arg.empty() || arg.front() != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg == "-o" ? "output" : arg.substr(arg.starts_with("--") ? 2 : 1);
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto option = rule->Options.find(name);
        if (option == rule->Options.end())
            Fail(peUsage, parsed.Command + " takes no option " + arg);
        if (option->second == okFlag) {
            if (value)
                Fail(peUsage, "--" + name + " takes no value");
            value.emplace();
        } else if (!value) {
            if (i + 1 >= Args.size())
                Fail(peUsage, "--" + name + " needs a value");
            value = Args[++i];
        }
        std::vector<std::string>& values = parsed.Options[name];
        if (!values.empty() && option->second != okRepeated)
            Fail(peUsage, "--" + name + " is given twice");
        values.push_back(*value);
    }
    if (positional.size() != 1)
        Fail(peUsage, parsed.Command + " takes one file (try --help)");
    parsed.File = positional.front();
    return parsed;
}

// --file KEY=PATH options by url key.
std::map<std::string, std::string> LocalFileOptions(const TArguments& Args)
{
    std::map<std::string, std::string> files;
    for (const std::string& value : Args.Values("file")) {
        const std::size_t eq = value.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == value.size())
            Fail(peUsage, "--file wants KEY=PATH, for example url1=dist/shopscope");
        if (!files.emplace(value.substr(0, eq), value.substr(eq + 1)).second)
            Fail(peUsage, "--file " + value.substr(0, eq) + " is given twice");
    }
    return files;
}

// ---- Files ---------------------------------------------------------------------

QString LocalName(const std::string& Path)
{
    return QFile::decodeName(QByteArray::fromStdString(Path));
}

std::string ReadFile(const std::string& Path, const char* What)
{
    QFile file(LocalName(Path));
    if (!file.open(QIODevice::ReadOnly))
        Fail(peIO, std::string("cannot read ") + What + " " + Path + ": " + file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        Fail(peIO, std::string("cannot read ") + What + " " + Path + ": " + file.errorString().toStdString());
    return bytes.toStdString();
}

// Written aside and renamed over Path at the end, so that a failure at any
// point leaves Path as it was and no partial file anywhere. Secret: readable
// and writable by the owner alone, from before the first byte is written.
void WriteFile(const std::string& Path, std::string_view Bytes, bool Secret)
{
    QSaveFile file(LocalName(Path));
    const auto failed = [&] { Fail(peIO, "cannot write " + Path + ": " + file.errorString().toStdString()); };
    if (!file.open(QIODevice::WriteOnly))
        failed();
    if (Secret && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        failed();
    if (file.write(Bytes.data(), static_cast<qint64>(Bytes.size())) != static_cast<qint64>(Bytes.size()))
        failed();
    if (!file.commit())
        failed();
}

// The info file without a signature it ends with; refuses one whose
// signature entry is elsewhere, as no reader would take it.
std::string UnsignedPart(const std::string& Bytes, const std::string& Path, bool& WasSigned)
{
    const TSignatureEntry entry = FindSignatureEntry(Bytes);
    if (entry.State == seMisplaced)
        Fail(peUsage, Path + ": " + SignatureStatusText(ssMisplaced) + "; remove it by hand");
    WasSigned = entry.State == seLast;
    return WasSigned ? Bytes.substr(0, entry.At) : Bytes;
}

// The local copy of each listed file the options name, by url key: --file
// entries, and with --dir every listed file by its address's last segment.
std::map<std::string, std::string> LocalFiles(const TArguments& Args, const TauInfoFileText& Info)
{
    const std::vector<std::string> keys = FileListKeys(Info);
    const std::vector<std::string> addresses = Info.FileList();
    std::map<std::string, std::string> files = LocalFileOptions(Args);
    for (const auto& [key, path] : files)
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            Fail(peUsage, "--file " + key + ": the info file lists no file under #" + key + "=");
    if (Args.Has("dir")) {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (files.count(keys[i]))
                continue;
            const std::string name = URLFileName(addresses[i]);
            if (name.empty())
                Fail(peUsage, "#" + keys[i] + "= names no file; give it with --file " + keys[i] + "=PATH");
            files[keys[i]] = Args.Value("dir") + "/" + name;
        }
    }
    return files;
}

TSha256 HashOf(const std::string& Key, const std::string& Path)
{
    const std::optional<TSha256> hash = FileSha256(Path);
    if (!hash)
        Fail(peIO, "cannot read " + Path + " (the file of #" + Key + "=)");
    return *hash;
}

std::string PublicKeyArgument(const TArguments& Args)
{
    if (Args.Has("public-key") == Args.Has("public-key-file"))
        Fail(peUsage, "verify needs one of --public-key and --public-key-file");
    std::string key = Args.Has("public-key") ? Args.Value("public-key")
                                              : ReadFile(Args.Value("public-key-file"), "the public key file");
    // A key file ends with a line end; a pasted key may carry spaces.
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    key.erase(key.begin(), std::find_if_not(key.begin(), key.end(), blank));
    key.erase(std::find_if_not(key.rbegin(), key.rend(), blank).base(), key.end());
    if (!ParsePublicKey(key))
        Fail(peUsage, std::string("the public key: ") + SignatureStatusText(ssBadKey));
    return key;
}

// ---- Commands ------------------------------------------------------------------

TPublishExit KeyGen(const TArguments& Args, std::ostream& Out)
{
    if (QFile::exists(LocalName(Args.File)))
        Fail(peUsage, Args.File + " exists; a private key is never overwritten");
    const std::optional<TEd25519PrivateKey> key = TEd25519PrivateKey::Generate();
    if (!key)
        Fail(peIO, "OpenSSL could not make a key");
    std::string pem = key->Pem();
    if (pem.empty())
        Fail(peIO, "OpenSSL could not write the key");
    try {
        WriteFile(Args.File, pem, true);
    } catch (const TFailure&) {
        OPENSSL_cleanse(pem.data(), pem.size());
        throw;
    }
    OPENSSL_cleanse(pem.data(), pem.size());
    const std::string publicKey = PublicKeyText(key->PublicKey());
    if (Args.Has("public-out")) {
        try {
            WriteFile(Args.Value("public-out"), publicKey + "\n", false);
        } catch (const TFailure&) {
            // Half a key pair is of no use: take back what this run made.
            QFile::remove(LocalName(Args.File));
            throw;
        }
    }
    Out << publicKey << '\n';
    return peOk;
}

TPublishExit Hash(const TArguments& Args, std::ostream& Out, std::ostream& Err)
{
    if (!Args.Has("dir") && !Args.Has("file"))
        Fail(peUsage, "hash needs --dir or --file to find the files");
    bool wasSigned = false;
    const std::string text = UnsignedPart(ReadFile(Args.File, "the info file"), Args.File, wasSigned);
    const TauInfoFileText info(text);
    const std::vector<std::string> keys = FileListKeys(info);
    if (keys.empty())
        Fail(peUsage, Args.File + " lists no file (no #url entries)");
    const std::map<std::string, std::string> files = LocalFiles(Args, info);
    std::string result = WithoutHashEntries(text);
    for (const std::string& key : keys) {
        const auto file = files.find(key);
        if (file == files.end())
            Fail(peUsage, "no local file for #" + key + "=; give --dir or --file " + key + "=PATH");
        const std::string hash = Sha256Text(HashOf(key, file->second));
        result = WithEntry(result, std::string(HashEntryPrefix) + key, hash);
        Out << HashEntryPrefix << key << '=' << hash << "  " << file->second << '\n';
    }
    WriteFile(Args.Has("output") ? Args.Value("output") : Args.File, result, false);
    if (wasSigned)
        Err << "shopscope-publish: the old signature was removed; sign the file again\n";
    return peOk;
}

TPublishExit Sign(const TArguments& Args, std::ostream& Out)
{
    if (!Args.Has("key"))
        Fail(peUsage, "sign needs --key PRIVATE-KEY-FILE");
    const std::string bytes = ReadFile(Args.File, "the info file");
    bool wasSigned = false;
    const std::string text = WithFinalLineEnd(UnsignedPart(bytes, Args.File, wasSigned));
    if (wasSigned && !Args.Has("resign"))
        Fail(peUsage, Args.File + " is signed already; give --resign to sign it anew");
    if (const std::string key = FirstUnhashedFile(TauInfoFileText(text)); !key.empty())
        Fail(peUsage, Args.File + " has no #" + std::string(HashEntryPrefix) + key +
                          "= entry of 64 hex digits; run hash first");

    std::string pem = ReadFile(Args.Value("key"), "the private key");
    const std::optional<TEd25519PrivateKey> key = TEd25519PrivateKey::FromPem(pem);
    OPENSSL_cleanse(pem.data(), pem.size());
    if (!key)
        Fail(peUsage, Args.Value("key") + " is no unencrypted Ed25519 private key in PEM");
    const std::optional<TEd25519Signature> signature = key->Sign(text);
    if (!signature)
        Fail(peIO, "OpenSSL could not sign");
    const std::string result = WithEntry(text, SignatureEntryKey, SignatureText(*signature));
    WriteFile(Args.Has("output") ? Args.Value("output") : Args.File, result, false);
    Out << "signed with the key " << PublicKeyText(key->PublicKey()) << '\n';
    return peOk;
}

TPublishExit Verify(const TArguments& Args, std::ostream& Out, std::ostream& Err)
{
    const std::string publicKey = PublicKeyArgument(Args);
    const TauInfoFileText info(ReadFile(Args.File, "the info file"));
    const std::map<std::string, std::string> files = LocalFiles(Args, info);
    const TSignatureStatus status = VerifyInfoFile(info, publicKey);
    if (status != ssValid) {
        Err << "shopscope-publish: " << Args.File << ": " << SignatureStatusText(status) << '\n';
        return peVerifyFailed;
    }
    Out << Args.File << ": " << SignatureStatusText(status) << '\n';
    TPublishExit result = peOk;
    for (const auto& [key, path] : files) {
        const std::optional<TSha256> expected = ExpectedSha256(info, key);
        if (!expected) {
            // Method 2 needs no hashes, so a listed file may have none.
            Err << "shopscope-publish: #" << key << "= has no hash to check " << path << " against\n";
            result = peVerifyFailed;
        } else if (HashOf(key, path) != *expected) {
            Err << "shopscope-publish: " << path << " does not match #" << HashEntryPrefix << key << "=\n";
            result = peVerifyFailed;
        } else {
            Out << path << " matches #" << HashEntryPrefix << key << "=\n";
        }
    }
    return result;
}

} // namespace

TPublishExit RunPublishTool(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err)
{
    if (WantsHelp(Args)) {
        Out << Usage;
        return peOk;
    }
    try {
        const TArguments args = ParseArguments(Args);
        if (args.Command == "keygen")
            return KeyGen(args, Out);
        if (args.Command == "hash")
            return Hash(args, Out, Err);
        if (args.Command == "sign")
            return Sign(args, Out);
        return Verify(args, Out, Err);
    } catch (const TFailure& failure) {
        Err << "shopscope-publish: " << failure.Message << '\n';
        return failure.Code;
    }
}
