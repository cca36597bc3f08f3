#pragma once
// The upgrade component's setting types and its two owned groups of
// settings: InfoFile (what the publisher's info file holds) and Wizard (how
// the download wizard looks and which language every upgrade text uses).

#include "upgrade/auUpgraderLang.h"

#include <QImage>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

enum TacUpgradeMethod : std::uint8_t { umSelfUpgrade, umUseExternalSetup, umRedirectToURL };
enum TacMiscFilesUpgradeBehavior : std::uint8_t { mfuAlwaysDownload, mfuOnlyIfSizeDifferent };
enum TauUpgraderVersionControl : std::uint8_t { byDate, byNumber };

// The windows and boxes the component may show by itself; each member is a
// bit of the stored byte.
enum TauUpgraderShowMessage : std::uint8_t {
    mAskUpgrade,
    mConnLost,
    mHostUnreachable,
    mLostFile,
    mNoInfoFile,
    mNoUpdateAvailable,
    mPasswordRequest
};

class TauUpgraderShowMessages {
public:
    constexpr TauUpgraderShowMessages() = default;
    constexpr TauUpgraderShowMessages(std::initializer_list<TauUpgraderShowMessage> Members)
    {
        for (TauUpgraderShowMessage m : Members)
            FBits |= Bit(m);
    }
    static constexpr TauUpgraderShowMessages FromByte(std::uint8_t Bits)
    {
        TauUpgraderShowMessages s;
        s.FBits = Bits & 0x7F;
        return s;
    }
    static constexpr TauUpgraderShowMessages All() { return FromByte(0x7F); }

    constexpr bool Contains(TauUpgraderShowMessage m) const { return (FBits & Bit(m)) != 0; }
    constexpr void Include(TauUpgraderShowMessage m) { FBits |= Bit(m); }
    constexpr void Exclude(TauUpgraderShowMessage m) { FBits &= ~Bit(m); }
    constexpr std::uint8_t Byte() const { return FBits; }
    constexpr bool operator==(const TauUpgraderShowMessages&) const = default;

private:
    static constexpr std::uint8_t Bit(TauUpgraderShowMessage m) { return std::uint8_t(1u << m); }
    std::uint8_t FBits = 0;
};

// The publisher's description of the info file (its url, method and message
// entries). Nothing the component decides reads it: every decision is taken
// from the info file actually received.
class TauUpgraderInfo {
public:
    const std::vector<std::string>& Files() const { return FFiles; }
    void SetFiles(const std::vector<std::string>& value) { FFiles = value; }
    TacUpgradeMethod UpgradeMethod() const { return FUpgradeMethod; }
    void SetUpgradeMethod(TacUpgradeMethod value) { FUpgradeMethod = value; }
    const std::string& UpgradeMsg() const { return FUpgradeMsg; }
    void SetUpgradeMsg(const std::string& value) { FUpgradeMsg = value; }

private:
    std::vector<std::string> FFiles;
    TacUpgradeMethod FUpgradeMethod = umSelfUpgrade;
    std::string FUpgradeMsg;
};

class TauUpgraderWizard {
public:
    // False: no wizard window at all during a download.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }
    // Replaces the wizard's side picture when not null (118 x 218).
    const QImage& Pic118x218() const { return FPic118x218; }
    void SetPic118x218(const QImage& value) { FPic118x218 = value; }
    TauUpgraderLanguage Language() const { return FLanguage; }
    // Also chooses the language of every upgrade text of the process
    // (ChooseUpgraderLanguage); the last assignment of any component wins.
    void SetLanguage(TauUpgraderLanguage value);
    bool StayOnTop() const { return FStayOnTop; }
    void SetStayOnTop(bool value) { FStayOnTop = value; }

private:
    bool FEnabled = true;
    QImage FPic118x218;
    TauUpgraderLanguage FLanguage = wlAuto;
    bool FStayOnTop = true;
};
