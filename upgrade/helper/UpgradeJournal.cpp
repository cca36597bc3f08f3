#include "upgrade/helper/UpgradeJournal.h"

#include "platform/DetachedProcess.h"
#include "platform/FileReplace.h"
#include "platform/FolderLock.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <new>

namespace journal {

namespace {

constexpr char Header[] = "Shopscope upgrade journal 1";

constexpr std::array<const char*, 6> PhaseNames {"planned", "moved", "restarted", "confirmed", "rolling-back",
                                                 "rolled-back"};
constexpr std::array<const char*, 3> StateNames {"planned", "kept", "placed"};

std::string Escaped(const std::string& Field)
{
    std::string text;
    for (const char c : Field) {
        switch (c) {
        case '\\': text += "\\\\"; break;
        case '\t': text += "\\t"; break;
        case '\n': text += "\\n"; break;
        default: text += c;
        }
    }
    return text;
}

bool Unescaped(const std::string& Text, std::string& Field)
{
    Field.clear();
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '\\') {
            Field += Text[i];
            continue;
        }
        if (++i == Text.size())
            return false;
        switch (Text[i]) {
        case '\\': Field += '\\'; break;
        case 't': Field += '\t'; break;
        case 'n': Field += '\n'; break;
        default: return false;
        }
    }
    return true;
}

// Fields of one line, unescaped.
bool Split(const std::string& Line, std::vector<std::string>& Fields)
{
    Fields.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = Line.find('\t', start);
        std::string field;
        if (!Unescaped(Line.substr(start, tab == std::string::npos ? std::string::npos : tab - start), field))
            return false;
        Fields.push_back(std::move(field));
        if (tab == std::string::npos)
            return true;
        start = tab + 1;
    }
}

template <std::size_t N>
bool Lookup(const std::array<const char*, N>& Names, const std::string& Name, int& Index)
{
    const auto found = std::find_if(Names.begin(), Names.end(), [&](const char* n) { return Name == n; });
    Index = static_cast<int>(found - Names.begin());
    return found != Names.end();
}

// A name within the folder: recovery must never reach outside it.
bool IsPlainName(const std::string& Name)
{
    return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string::npos &&
           Name.find('\0') == std::string::npos;
}

bool ParseMove(const std::vector<std::string>& Fields, TMove& Move)
{
    int state = 0;
    if (Fields.size() != 5 || !Lookup(StateNames, Fields[1], state))
        return false;
    Move = {Fields[2], Fields[3], Fields[4], static_cast<TMoveState>(state)};
    return IsPlainName(Move.Source) && IsPlainName(Move.Target) && (Move.Backup.empty() || IsPlainName(Move.Backup));
}

// Removing what is already gone is no failure: Undo and Complete repeat.
int Removed(const std::string& Path)
{
    const int error = platform::RemoveFile(Path);
    return error == ENOENT ? 0 : error;
}

void Note(int& First, int Error)
{
    if (First == 0)
        First = Error;
}

void Call(const TStepHook& Step, const std::string& Name)
{
    if (Step)
        Step(Name);
}

} // namespace

std::string FolderOf(const std::string& ProgramPath)
{
    const std::size_t slash = ProgramPath.rfind('/');
    return slash == std::string::npos ? std::string("./") : ProgramPath.substr(0, slash + 1);
}

std::string JournalPath(const std::string& ProgramPath)
{
    const std::size_t slash = ProgramPath.rfind('/');
    const std::string name = slash == std::string::npos ? ProgramPath : ProgramPath.substr(slash + 1);
    return FolderOf(ProgramPath) + "." + name + JournalSuffix;
}

std::string FormatJournal(const TJournal& Journal)
{
    std::string text = std::string(Header) + "\n";
    text += std::string("phase\t") + PhaseNames[static_cast<std::size_t>(Journal.Phase)] + "\n";
    text += "helper\t" + std::to_string(Journal.Helper) + "\n";
    text += "program\t" + Escaped(Journal.Program) + "\n";
    text += "restart\t" + Escaped(Journal.RestartText) + "\n";
    for (const TMove& move : Journal.Moves) {
        text += std::string("move\t") + StateNames[static_cast<std::size_t>(move.State)] + "\t" +
                Escaped(move.Source) + "\t" + Escaped(move.Target) + "\t" + Escaped(move.Backup) + "\n";
    }
    return text + "end\n";
}

bool ParseJournal(const std::string& Text, TJournal& Journal)
{
    Journal = {};
    std::size_t start = 0;
    std::vector<std::string> lines;
    while (start < Text.size()) {
        const std::size_t end = Text.find('\n', start);
        if (end == std::string::npos)
            return false; // cut short
        lines.push_back(Text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 6 || lines.front() != Header || lines.back() != "end")
        return false;
    bool phase = false, helper = false, program = false, restart = false;
    std::vector<std::string> fields;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        if (!Split(lines[i], fields))
            return false;
        const std::string& key = fields.front();
        if (key == "move") {
            TMove move;
            if (!ParseMove(fields, move))
                return false;
            Journal.Moves.push_back(std::move(move));
            continue;
        }
        if (fields.size() != 2)
            return false;
        int index = 0;
        if (key == "phase" && !phase && Lookup(PhaseNames, fields[1], index)) {
            Journal.Phase = static_cast<TPhase>(index);
            phase = true;
        } else if (key == "helper" && !helper) {
            const std::string& value = fields[1];
            const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), Journal.Helper);
            helper = error == std::errc() && stop == value.data() + value.size();
            if (!helper)
                return false;
        } else if (key == "program" && !program && IsPlainName(fields[1])) {
            Journal.Program = fields[1];
            program = true;
        } else if (key == "restart" && !restart) {
            Journal.RestartText = fields[1];
            restart = true;
        } else {
            return false;
        }
    }
    return phase && helper && program && restart;
}

int LoadJournal(const std::string& ProgramPath, TJournal& Journal)
{
    std::string text;
    if (const int error = platform::ReadWholeFile(JournalPath(ProgramPath), text))
        return error;
    return ParseJournal(text, Journal) ? 0 : EBADMSG;
}

int SaveJournal(const std::string& ProgramPath, const TJournal& Journal)
{
    return platform::WriteFileAside(JournalPath(ProgramPath), FormatJournal(Journal), 0644);
}

int RemoveJournal(const std::string& ProgramPath)
{
    // A writer killed before its rename leaves its aside copy.
    Removed(platform::AsidePath(JournalPath(ProgramPath)));
    return Removed(JournalPath(ProgramPath));
}

int Undo(const std::string& ProgramPath, const TJournal& Journal, bool& ProgramChanged, const TStepHook& Step)
{
    const std::string folder = FolderOf(ProgramPath);
    int first = 0;
    for (auto move = Journal.Moves.rbegin(); move != Journal.Moves.rend(); ++move) {
        if (platform::PathExists(folder + move->Source)) {
            // Never placed: the target is the old file; its backup, if
            // made, is only a second name for it.
            if (!move->Backup.empty()) {
                Removed(platform::AsidePath(folder + move->Backup));
                Note(first, Removed(folder + move->Backup));
            }
            Note(first, Removed(folder + move->Source));
        } else if (!move->Backup.empty()) {
            // Placed: the backup goes back over the new file. A backup that
            // is gone was restored by an earlier, interrupted Undo.
            if (platform::PathExists(folder + move->Backup)) {
                Note(first, platform::RenameOver(folder + move->Backup, folder + move->Target));
                ProgramChanged = ProgramChanged || move->Target == Journal.Program;
            }
        } else {
            Note(first, Removed(folder + move->Target));
        }
        Call(Step, "restored " + move->Target);
    }
    return first;
}

int Complete(const std::string& ProgramPath, const TJournal& Journal, const TStepHook& Step)
{
    const std::string folder = FolderOf(ProgramPath);
    int first = 0;
    for (const TMove& move : Journal.Moves) {
        if (!move.Backup.empty()) {
            Removed(platform::AsidePath(folder + move.Backup));
            Note(first, Removed(folder + move.Backup));
            Call(Step, "removed " + move.Backup);
        }
    }
    // The journal goes last: until then it still says where the backups are.
    Note(first, RemoveJournal(ProgramPath));
    return first;
}

bool HelperAtWork(const std::string& ProgramPath, platform::TFolderLock& Lock)
{
    const int error = Lock.Lock(FolderOf(ProgramPath), false);
    if (error == 0)
        return false;
    if (error == EWOULDBLOCK)
        return true;
    // No locks on this file system: the helper's process id must do.
    TJournal journal;
    return LoadJournal(ProgramPath, journal) == 0 && platform::ProcessExists(journal.Helper);
}

TRecoveryResult Recover(const std::string& ProgramPath)
{
    TRecoveryResult result;
    try {
        TJournal journal;
        const int error = LoadJournal(ProgramPath, journal);
        if (error == ENOENT)
            return result;
        if (error != 0) {
            result.Outcome = TRecovery::rcUnreadable;
            result.Error = error;
            return result;
        }
        switch (journal.Phase) {
        case TPhase::jpMoved:
        case TPhase::jpRestarted:
        case TPhase::jpConfirmed:
            result.Outcome = TRecovery::rcCompleted;
            result.Error = Complete(ProgramPath, journal);
            break;
        case TPhase::jpPlanned:
        case TPhase::jpRollingBack:
            result.Outcome = TRecovery::rcUndone;
            journal.Phase = TPhase::jpRollingBack;
            result.Error = SaveJournal(ProgramPath, journal);
            Note(result.Error, Undo(ProgramPath, journal, result.ProgramChanged));
            journal.Phase = TPhase::jpRolledBack;
            Note(result.Error, SaveJournal(ProgramPath, journal));
            break;
        case TPhase::jpRolledBack:
            result.Outcome = TRecovery::rcRolledBack;
            break;
        }
    } catch (const std::bad_alloc&) {
        result.Error = ENOMEM;
    }
    return result;
}

} // namespace journal
