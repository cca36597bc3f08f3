#pragma once
// Signed upgrade info files and checked upgrade files.
//
// A signed info file carries, in its own #key=value style, the SHA-256 of
// each listed file under the name of that file's url entry
// (#sha256-url1=<64 hex digits> for #url1=), and as its last line
// #signature-ed25519=<base64 of the 64-byte signature>. The signature covers
// every byte of the file before the "#" of that line, line ends as received,
// so the version, the file list and the hashes are all the maker's. After
// the signature value only CR and LF bytes may follow.
//
// With no public key in force (SHOPSCOPE_UPGRADE_PUBLIC_KEY left empty, or a
// program that sets none) info files are read as they always were and
// downloads are not checked.
// Window-free; nothing here throws.

#include "upgrade/auInfoFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct evp_pkey_st; // OpenSSL's EVP_PKEY

using TSha256 = std::array<std::uint8_t, 32>;
using TEd25519PublicKey = std::array<std::uint8_t, 32>;
using TEd25519Signature = std::array<std::uint8_t, 64>;

// The entry names, without "#" and "=".
inline constexpr std::string_view SignatureEntryKey = "signature-ed25519";
inline constexpr std::string_view HashEntryPrefix = "sha256-";

// ---- The key in force -------------------------------------------------------

// The public key text the upgrade checks against: the deployment's, or the
// one OverrideUpgradePublicKey set. Empty: nothing is checked.
std::string UpgradePublicKey();
// The deployment's key, which the program's start puts in force before any
// check: the maker's setting travels with the program's entry, like its
// upgrade server, so one build of the libraries serves every deployment.
void SetUpgradePublicKey(std::string Key);
// Puts Key in force instead of the deployment's until it is called with
// nullopt. For tests; window thread, while no check runs.
void OverrideUpgradePublicKey(std::optional<std::string> Key);

// ---- Text forms --------------------------------------------------------------

// A raw 32-byte Ed25519 public key written as 44 characters of base64 (with
// its "=") or 64 hex digits; nullopt for anything else, spaces included.
std::optional<TEd25519PublicKey> ParsePublicKey(std::string_view Text);
// The base64 form ParsePublicKey reads and the publisher's tool prints.
std::string PublicKeyText(const TEd25519PublicKey& Key);
// 64 hex digits in lower case, and back (either case is read).
std::string Sha256Text(const TSha256& Hash);
std::optional<TSha256> ParseSha256(std::string_view Text);
// 88 characters of base64, and back.
std::string SignatureText(const TEd25519Signature& Signature);
std::optional<TEd25519Signature> ParseSignature(std::string_view Text);

// ---- Where the signature is ---------------------------------------------------

enum TSignatureEntryState : std::uint8_t {
    seNone,      // no #signature-ed25519= entry (in lower case, as written)
    seLast,      // one entry, on a line of its own, followed by line ends only
    seMisplaced, // not at the start of a line, something after its value, or twice
};

struct TSignatureEntry {
    TSignatureEntryState State = seNone;
    // seLast and seMisplaced: where the "#" of the (last) entry is, which is
    // also the length of the bytes a valid signature covers.
    std::size_t At = 0;
    // seLast: the value as written (not yet decoded).
    std::string_view Value;
};

TSignatureEntry FindSignatureEntry(std::string_view Bytes);

// ---- Verifying ----------------------------------------------------------------

enum TSignatureStatus : std::uint8_t {
    ssValid,        // signed by the key, and every listed file has a hash
    ssNotRequired,  // no key in force: read as before
    ssBadKey,       // the key text is no Ed25519 public key
    ssNotSigned,    // no signature entry
    ssMisplaced,    // the signature entry is not alone on the last line
    ssMalformed,    // its value is not a signature in base64
    ssBadSignature, // the signature does not match these bytes under this key
    ssMissingHash,  // a listed file has no well-formed #sha256- entry
};

// A short English reason for Status, for logs and the publisher's tool.
const char* SignatureStatusText(TSignatureStatus Status);

// The url key of each address of Info.FileList(), in the same order: "url",
// "url0", then "url<N>" as the list was collected.
std::vector<std::string> FileListKeys(const TauInfoFileText& Info);
// The SHA-256 that entry #sha256-<UrlKey>= gives (the first such entry, as
// for every key); nullopt when it is missing or not exactly 64 hex digits.
std::optional<TSha256> ExpectedSha256(const TauInfoFileText& Info, std::string_view UrlKey);
// The url key of the first listed file without its hash; empty when every
// file has one, or when the method is 2 (a web page to open, nothing
// downloaded), which needs none.
std::string FirstUnhashedFile(const TauInfoFileText& Info);

// Whether Info is signed by the key PublicKeyText names and gives a hash for
// every file it lists. A file whose method is 2 (a web page to open, nothing
// downloaded) needs no hashes.
TSignatureStatus VerifyInfoFile(const TauInfoFileText& Info, std::string_view PublicKeyText);

// What the upgrade decides from a received info file with the key in force.
struct TInfoFileCheck {
    TSignatureStatus Status = ssNotRequired;
    // With a key in force and the file valid: the hash of each address of
    // FileList(), in order (empty for method 2). Empty without a key.
    std::vector<TSha256> FileHashes;

    // The file may be read: it verified, or no key is in force.
    bool Accepted() const { return Status == ssValid || Status == ssNotRequired; }
};

TInfoFileCheck CheckInfoFile(const TauInfoFileText& Info);

// Whether the downloaded file at Path is the one Check expects as file
// FileIndex of the list. True when no key was in force for Check; false
// when the file cannot be read or has no expected hash.
bool DownloadedFileMatches(const TInfoFileCheck& Check, std::size_t FileIndex, const std::string& Path);

// ---- Hashing, signing, keys ------------------------------------------------------

// The SHA-256 of the file's content, read HashReadBlock bytes at a time so
// that a large file costs no memory; nullopt when it cannot be opened or read.
inline constexpr std::size_t HashReadBlock = 64 * 1024;
std::optional<TSha256> FileSha256(const std::string& Path);

// Verifies an Ed25519 signature over Data.
bool VerifyEd25519(const TEd25519PublicKey& Key, std::string_view Data, const TEd25519Signature& Signature);

// An Ed25519 private key, held in OpenSSL's memory and freed with its
// owner. Only the publisher's tool makes or loads one.
class TEd25519PrivateKey {
public:
    // A fresh key from the system's random source; nullopt when OpenSSL
    // cannot make one.
    static std::optional<TEd25519PrivateKey> Generate();
    // The key from a PKCS #8 PEM text (as `openssl genpkey -algorithm
    // ed25519` writes it); nullopt when it is no Ed25519 private key.
    static std::optional<TEd25519PrivateKey> FromPem(std::string_view Pem);

    // The PKCS #8 PEM text, unencrypted; empty when OpenSSL fails. Secret:
    // write it only to a file that its owner alone can read.
    std::string Pem() const;
    TEd25519PublicKey PublicKey() const;
    std::optional<TEd25519Signature> Sign(std::string_view Data) const;

private:
    struct TFree {
        void operator()(evp_pkey_st* Key) const;
    };
    explicit TEd25519PrivateKey(evp_pkey_st* Key) : FKey(Key) {}
    std::unique_ptr<evp_pkey_st, TFree> FKey;
};
