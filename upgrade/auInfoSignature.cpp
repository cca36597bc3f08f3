#include "upgrade/auInfoSignature.h"

#include "http/auText.h"
#include "platform/FileStream.h"

#include <QByteArray>

#include <openssl/bio.h>
#include <openssl/buffer.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <exception>

namespace {

std::string DeploymentKey;
std::optional<std::string> KeyOverride;

// Owners of OpenSSL's objects, each freed with its own function.
template <auto Free>
struct TOpenSSLFree {
    template <typename T>
    void operator()(T* Object) const
    {
        Free(Object);
    }
};
using TMdCtx = std::unique_ptr<EVP_MD_CTX, TOpenSSLFree<EVP_MD_CTX_free>>;
using TPKey = std::unique_ptr<EVP_PKEY, TOpenSSLFree<EVP_PKEY_free>>;
using TPKeyCtx = std::unique_ptr<EVP_PKEY_CTX, TOpenSSLFree<EVP_PKEY_CTX_free>>;
using TBio = std::unique_ptr<BIO, TOpenSSLFree<BIO_free>>;

// OpenSSL leaves the reasons of its failures queued on the calling thread;
// ours are reported through results, so none may linger for the next user
// of the library on this thread (libcurl's TLS reads that queue).
struct TClearOpenSSLErrors {
    ~TClearOpenSSLErrors() { ERR_clear_error(); }
};

const unsigned char* Raw(std::string_view Bytes)
{
    // An empty view may hold no pointer at all; OpenSSL wants one.
    return reinterpret_cast<const unsigned char*>(Bytes.empty() ? "" : Bytes.data());
}

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> FromHex(std::string_view Text)
{
    if (Text.size() != 2 * N)
        return std::nullopt;
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) {
        const int high = HexDigitValue(Text[2 * i]);
        const int low = HexDigitValue(Text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return bytes;
}

template <std::size_t N>
std::string ToBase64(const std::array<std::uint8_t, N>& Bytes)
{
    return QByteArray(reinterpret_cast<const char*>(Bytes.data()), N).toBase64().toStdString();
}

// Only the canonical form is read (padding written, unused bits zero), so a
// value has one spelling and a stray character is never skipped.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> FromBase64(std::string_view Text)
{
    const QByteArray text(Text.data(), static_cast<qsizetype>(Text.size()));
    const auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != static_cast<qsizetype>(N) || decoded.decoded.toBase64() != text)
        return std::nullopt;
    std::array<std::uint8_t, N> bytes{};
    std::copy(decoded.decoded.begin(), decoded.decoded.end(), bytes.begin());
    return bytes;
}

std::string EntryPattern(std::string_view Key)
{
    std::string pattern = "#";
    pattern += Key;
    pattern += '=';
    return pattern;
}

} // namespace

std::string UpgradePublicKey()
{
    return KeyOverride ? *KeyOverride : DeploymentKey;
}

void SetUpgradePublicKey(std::string Key)
{
    DeploymentKey = std::move(Key);
}

void OverrideUpgradePublicKey(std::optional<std::string> Key)
{
    KeyOverride = std::move(Key);
}

std::optional<TEd25519PublicKey> ParsePublicKey(std::string_view Text)
{
    if (Text.size() == 64)
        return FromHex<32>(Text);
    return FromBase64<32>(Text);
}

std::string PublicKeyText(const TEd25519PublicKey& Key)
{
    return ToBase64(Key);
}

std::string Sha256Text(const TSha256& Hash)
{
    return QByteArray(reinterpret_cast<const char*>(Hash.data()), static_cast<qsizetype>(Hash.size()))
        .toHex()
        .toStdString();
}

std::optional<TSha256> ParseSha256(std::string_view Text)
{
    return FromHex<32>(Text);
}

std::string SignatureText(const TEd25519Signature& Signature)
{
    return ToBase64(Signature);
}

std::optional<TEd25519Signature> ParseSignature(std::string_view Text)
{
    return FromBase64<64>(Text);
}

TSignatureEntry FindSignatureEntry(std::string_view Bytes)
{
    // Unlike the other keys, only in lower case: the one part of the file
    // the signature cannot cover is then spelt one way only, so no byte of
    // a valid file can change and leave it valid.
    const std::string pattern = EntryPattern(SignatureEntryKey);
    const std::size_t first = Bytes.find(pattern);
    if (first == std::string_view::npos)
        return {};
    TSignatureEntry entry;
    entry.State = seMisplaced;
    entry.At = Bytes.rfind(pattern);
    // On a line of its own, so that the entry before it ends at a line end
    // that the signature covers.
    if (first != entry.At || (entry.At > 0 && !IsLineEnd(Bytes[entry.At - 1])))
        return entry;
    const std::size_t start = entry.At + pattern.size();
    std::size_t end = start;
    while (end < Bytes.size() && static_cast<unsigned char>(Bytes[end]) >= 32)
        ++end;
    if (!std::all_of(Bytes.begin() + static_cast<std::ptrdiff_t>(end), Bytes.end(), IsLineEnd))
        return entry;
    entry.State = seLast;
    entry.Value = Bytes.substr(start, end - start);
    return entry;
}

const char* SignatureStatusText(TSignatureStatus Status)
{
    switch (Status) {
    case ssValid:
        return "the signature is valid and every listed file has its SHA-256";
    case ssNotRequired:
        return "no public key is in force, so nothing was checked";
    case ssBadKey:
        return "the public key is not a raw Ed25519 key in base64 or hex";
    case ssNotSigned:
        return "the file has no #signature-ed25519 entry";
    case ssMisplaced:
        return "the #signature-ed25519 entry is not alone on the last line";
    case ssMalformed:
        return "the #signature-ed25519 value is not a signature in base64";
    case ssBadSignature:
        return "the signature does not match the file and the public key";
    case ssMissingHash:
        return "a listed file has no #sha256 entry of 64 hex digits";
    }
    return "unknown";
}

std::vector<std::string> FileListKeys(const TauInfoFileText& Info)
{
    // The reader collects "url" and "url0" when not empty, then counts on
    // from one past them; so the list's length tells the numbered keys.
    const std::size_t count = Info.FileList().size();
    std::vector<std::string> keys;
    for (const char* key : {"url", "url0"})
        if (keys.size() < count && !Info.InfoValue(key).empty())
            keys.emplace_back(key);
    for (std::size_t n = keys.size() + 1; keys.size() < count; ++n)
        keys.push_back("url" + std::to_string(n));
    return keys;
}

std::optional<TSha256> ExpectedSha256(const TauInfoFileText& Info, std::string_view UrlKey)
{
    std::string key(HashEntryPrefix);
    key += UrlKey;
    return ParseSha256(Info.InfoValue(key));
}

std::string FirstUnhashedFile(const TauInfoFileText& Info)
{
    if (Info.Method() != 2)
        for (const std::string& urlKey : FileListKeys(Info))
            if (!ExpectedSha256(Info, urlKey))
                return urlKey;
    return {};
}

TSignatureStatus VerifyInfoFile(const TauInfoFileText& Info, std::string_view PublicKeyText)
{
    const std::optional<TEd25519PublicKey> key = ParsePublicKey(PublicKeyText);
    if (!key)
        return ssBadKey;
    const std::string_view bytes = Info.Bytes();
    const TSignatureEntry entry = FindSignatureEntry(bytes);
    if (entry.State == seNone)
        return ssNotSigned;
    if (entry.State == seMisplaced)
        return ssMisplaced;
    const std::optional<TEd25519Signature> signature = ParseSignature(entry.Value);
    if (!signature)
        return ssMalformed;
    if (!VerifyEd25519(*key, bytes.substr(0, entry.At), *signature))
        return ssBadSignature;
    return FirstUnhashedFile(Info).empty() ? ssValid : ssMissingHash;
}

TInfoFileCheck CheckInfoFile(const TauInfoFileText& Info)
{
    const std::string key = UpgradePublicKey();
    if (key.empty())
        return {};
    TInfoFileCheck check;
    check.Status = VerifyInfoFile(Info, key);
    if (check.Status == ssValid && Info.Method() != 2)
        for (const std::string& urlKey : FileListKeys(Info))
            check.FileHashes.push_back(*ExpectedSha256(Info, urlKey));
    return check;
}

bool DownloadedFileMatches(const TInfoFileCheck& Check, std::size_t FileIndex, const std::string& Path)
{
    if (Check.Status == ssNotRequired)
        return true;
    if (Check.Status != ssValid || FileIndex >= Check.FileHashes.size())
        return false;
    const std::optional<TSha256> actual = FileSha256(Path);
    return actual && *actual == Check.FileHashes[FileIndex];
}

std::optional<TSha256> FileSha256(const std::string& Path)
{
    const TClearOpenSSLErrors clear;
    const TMdCtx context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    try {
        TFileStream file(Path, TFileStream::fmOpenRead);
        const auto block = std::make_unique<char[]>(HashReadBlock);
        while (const std::size_t count = file.Read(block.get(), HashReadBlock))
            if (EVP_DigestUpdate(context.get(), block.get(), count) != 1)
                return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    TSha256 hash{};
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), hash.data(), &size) != 1 || size != hash.size())
        return std::nullopt;
    return hash;
}

bool VerifyEd25519(const TEd25519PublicKey& Key, std::string_view Data, const TEd25519Signature& Signature)
{
    const TClearOpenSSLErrors clear;
    const TPKey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, Key.data(), Key.size()));
    const TMdCtx context(EVP_MD_CTX_new());
    if (!key || !context)
        return false;
    // Ed25519 hashes the message itself: no digest is named.
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), Signature.data(), Signature.size(), Raw(Data), Data.size()) == 1;
}

void TEd25519PrivateKey::TFree::operator()(evp_pkey_st* Key) const
{
    EVP_PKEY_free(Key);
}

std::optional<TEd25519PrivateKey> TEd25519PrivateKey::Generate()
{
    const TClearOpenSSLErrors clear;
    const TPKeyCtx context(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 || EVP_PKEY_keygen(context.get(), &key) != 1)
        return std::nullopt;
    return TEd25519PrivateKey(key);
}

std::optional<TEd25519PrivateKey> TEd25519PrivateKey::FromPem(std::string_view Pem)
{
    const TClearOpenSSLErrors clear;
    const TBio bio(BIO_new_mem_buf(Pem.data(), static_cast<int>(Pem.size())));
    if (!bio)
        return std::nullopt;
    // An encrypted key would make OpenSSL ask for its pass phrase on the
    // terminal; the answer "none" makes it fail instead.
    const auto noPassPhrase = [](char*, int, int, void*) { return 0; };
    TPKey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassPhrase, nullptr));
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        return std::nullopt;
    return TEd25519PrivateKey(key.release());
}

std::string TEd25519PrivateKey::Pem() const
{
    const TClearOpenSSLErrors clear;
    const TBio bio(BIO_new(BIO_s_mem()));
    if (!bio)
        return {};
    std::string pem;
    if (PEM_write_bio_PrivateKey(bio.get(), FKey.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1) {
        BUF_MEM* buffer = nullptr;
        BIO_get_mem_ptr(bio.get(), &buffer);
        if (buffer) {
            pem.assign(buffer->data, buffer->length);
            // Not left behind in freed memory.
            OPENSSL_cleanse(buffer->data, buffer->length);
        }
    }
    return pem;
}

TEd25519PublicKey TEd25519PrivateKey::PublicKey() const
{
    const TClearOpenSSLErrors clear;
    TEd25519PublicKey key{};
    std::size_t size = key.size();
    // An Ed25519 key always has its raw 32-byte public half.
    EVP_PKEY_get_raw_public_key(FKey.get(), key.data(), &size);
    return key;
}

std::optional<TEd25519Signature> TEd25519PrivateKey::Sign(std::string_view Data) const
{
    const TClearOpenSSLErrors clear;
    const TMdCtx context(EVP_MD_CTX_new());
    TEd25519Signature signature{};
    std::size_t size = signature.size();
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, FKey.get()) != 1 ||
        EVP_DigestSign(context.get(), signature.data(), &size, Raw(Data), Data.size()) != 1 ||
        size != signature.size())
        return std::nullopt;
    return signature;
}
