#include "transaction/installtransaction.h"

#include "names/namerules.h"
#include "names/nameset.h"
#include "names/workingnames.h"
#include "platform/filesystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>

namespace {

const QString JournalName = QStringLiteral("journal.json");
const QString NewFolder = QStringLiteral("new");
const QString OldFolder = QStringLiteral("old");
// Where a file the system would not replace in one step (a running program on
// Windows) is moved the moment before its successor takes its name.
const QString ReplacedFolder = QStringLiteral("replaced");

// Far beyond any real journal (65,535 paths); a larger file is no journal of ours.
constexpr qint64 MaxJournalSize = qint64(64) << 20;

QString join(const QString &folder, const QString &relative)
{
    return folder + QLatin1Char('/') + relative;
}

QJsonArray toArray(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

// The strings of a journal's array; false when it is not an array of strings.
bool toList(const QJsonValue &value, QStringList *list)
{
    if (!value.isArray())
        return false;
    for (const QJsonValue &v : value.toArray()) {
        if (!v.isString())
            return false;
        list->append(v.toString());
    }
    return true;
}

// The first link on the way from \a base (itself trusted) down to \a relative, or an empty string.
QString linkOnPath(const QString &base, const QString &relative)
{
    QString path = base;
    for (const QString &part : relative.split(QLatin1Char('/'))) {
        path += QLatin1Char('/') + part;
        if (Platform::isLink(path))
            return path;
    }
    return QString();
}

// A journal read back from disk is a stranger's: every path it names must be
// a plain relative path inside the application's folder, free of links there
// and in the transaction's own folders. Returns why not, or an empty string.
QString journalProblem(const QString &appDir, const QString &transactionDir, const QStringList &files,
                       const QStringList &existing, const QStringList &folders)
{
    for (const QString &own : { NewFolder, OldFolder }) {
        if (Platform::isLink(join(transactionDir, own)))
            return QStringLiteral("its %1 folder is a link").arg(own);
    }
    const QSet<QString> fileSet(files.cbegin(), files.cend());
    NameSet names;
    for (const QString &relative : files) {
        const QString clash = names.add(relative);
        if (!clash.isEmpty())
            return clash;
    }
    for (const QStringList *list : { &files, &existing, &folders }) {
        for (const QString &relative : *list) {
            const QString reason = unsafeEntryReason(relative);
            if (!reason.isEmpty())
                return reason;
            if (list == &existing && !fileSet.contains(relative))
                return QStringLiteral("\"%1\" is listed as replaced but not as installed").arg(relative);
            for (const QString &base : { appDir, transactionDir + QLatin1Char('/') + NewFolder,
                                         transactionDir + QLatin1Char('/') + OldFolder }) {
                const QString link = linkOnPath(base, relative);
                if (!link.isEmpty())
                    return QStringLiteral("%1 is a link").arg(link);
            }
        }
    }
    return QString();
}

// Undoes whatever part of a commit is done, reading each file's place from
// the file system: a replaced file's backup exists from before its successor
// took its name, and goes back over it in one step; a new file whose staged
// copy is gone was put in place. Safe to run again after it was interrupted
// itself. Returns the files that could not be restored, with where their copies lie.
QStringList undo(const QString &appDir, const QString &transactionDir, const QStringList &files,
                 const QSet<QString> &existing, const QStringList &folders)
{
    QStringList failures;
    for (int i = files.size() - 1; i >= 0; --i) {
        const QString &relative = files.at(i);
        const QString installed = join(appDir, relative);
        const QString staged = join(transactionDir + QLatin1Char('/') + NewFolder, relative);
        const QString backup = join(transactionDir + QLatin1Char('/') + OldFolder, relative);
        QString reason;
        if (existing.contains(relative)) {
            // Before the backup exists nothing of this file was touched.
            if (QFileInfo::exists(backup) && !Platform::replaceFile(backup, installed, &reason))
                failures.append(QStringLiteral("%1 (its old copy is %2: %3)").arg(relative, backup, reason));
            continue;
        }
        if (!QFileInfo::exists(staged) && QFileInfo::exists(installed)) {
            QDir().mkpath(QFileInfo(staged).path());
            if (!Platform::replaceFile(installed, staged, &reason) && !QFile::remove(installed))
                failures.append(QStringLiteral("%1 (the new file stays: %2)").arg(relative, reason));
        }
    }
    for (int i = folders.size() - 1; i >= 0; --i) {
        const QString folder = join(appDir, folders.at(i));
        if (QFileInfo(folder).isDir() && !QDir().rmdir(folder))
            failures.append(QStringLiteral("%1 (a folder the update created)").arg(folders.at(i)));
    }
    return failures;
}

// Removes a finished transaction's folder; what cannot go yet (a program
// still running on Windows) stays for the next start, and so does the journal
// that says the update was complete. Returns what stayed.
int removeFinished(const QString &transactionDir)
{
    const QDir folder(transactionDir);
    for (const QString &name : folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (name != JournalName)
            Platform::removeTree(folder.filePath(name));
    }
    if (folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
        == QStringList { JournalName })
        Platform::removeTree(transactionDir);
    if (!QFileInfo::exists(transactionDir))
        return 0;
    int left = 0;
    QDirIterator it(transactionDir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++left;
    }
    return left;
}

} // namespace

InstallTransaction::InstallTransaction(const QString &directory)
    : appDir(QDir(directory).absolutePath())
{
}

InstallTransaction::~InstallTransaction()
{
    // Staged but never committed: the application was not touched.
    if (state == Pending && !transactionDir.isEmpty())
        Platform::removeTree(transactionDir);
}

bool InstallTransaction::fail(const QString &message)
{
    error = message;
    return false;
}

bool InstallTransaction::begin()
{
    QTemporaryDir folder(join(appDir, QLatin1String(WorkingNames::TransactionPrefix) + QStringLiteral("XXXXXX")));
    if (!folder.isValid())
        return fail(QStringLiteral("cannot write into %1: %2").arg(appDir, folder.errorString()));
    folder.setAutoRemove(false);
    transactionDir = folder.path();
    if (!QDir(transactionDir).mkpath(NewFolder) || !QDir(transactionDir).mkpath(OldFolder))
        return fail(QStringLiteral("cannot write into %1").arg(transactionDir));
    return writeJournal(QStringLiteral("staging"));
}

QString InstallTransaction::stagedPath(const QString &relative) const
{
    return join(transactionDir + QLatin1Char('/') + NewFolder, relative);
}

QString InstallTransaction::scratchPath() const
{
    return transactionDir + QStringLiteral("/scratch");
}

QString InstallTransaction::installedPath(const QString &relative) const
{
    return join(appDir, relative);
}

void InstallTransaction::addFile(const QString &relative)
{
    newFiles.append(relative);
}

void InstallTransaction::addFolder(const QString &relative)
{
    newFolders.append(relative);
}

bool InstallTransaction::writeJournal(const QString &phase)
{
    QJsonObject journal;
    journal.insert(QStringLiteral("phase"), phase);
    journal.insert(QStringLiteral("files"), toArray(newFiles));
    journal.insert(QStringLiteral("existing"), toArray(filesExisting));
    journal.insert(QStringLiteral("folders"), toArray(foldersCreated));
    // QSaveFile flushes to disk before it renames: the journal is old or new, whole.
    QSaveFile file(join(transactionDir, JournalName));
    const QByteArray data = QJsonDocument(journal).toJson(QJsonDocument::Compact);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        return fail(QStringLiteral("cannot write the install journal: %1").arg(file.errorString()));
    return true;
}

bool InstallTransaction::checkPlan(QStringList *folders, QStringList *existing)
{
    const QByteArray ourFileSystem = Platform::fileSystemId(transactionDir);
    QSet<QString> checked;
    const std::function<bool(const QString &)> checkFolder = [&](const QString &relative) {
        if (relative.isEmpty() || checked.contains(relative))
            return true;
        const int slash = relative.lastIndexOf(QLatin1Char('/'));
        if (slash > 0 && !checkFolder(relative.left(slash)))
            return false;
        const QString path = join(appDir, relative);
        const QFileInfo info(path);
        if (Platform::isLink(path))
            return fail(QStringLiteral("%1 is a link; the update does not write through links").arg(path));
        if (info.exists() && !info.isDir())
            return fail(QStringLiteral("%1 is a file where the update needs a folder").arg(path));
        if (!info.exists())
            folders->append(relative);
        else if (Platform::fileSystemId(path) != ourFileSystem)
            return fail(QStringLiteral("%1 lies on another file system").arg(path));
        checked.insert(relative);
        return true;
    };

    for (const QString &folder : qAsConst(newFolders)) {
        if (!checkFolder(folder))
            return false;
    }
    for (const QString &file : qAsConst(newFiles)) {
        const int slash = file.lastIndexOf(QLatin1Char('/'));
        if (slash > 0 && !checkFolder(file.left(slash)))
            return false;
        const QString path = join(appDir, file);
        const QFileInfo info(path);
        if (Platform::isLink(path))
            return fail(QStringLiteral("%1 is a link; the update does not write through links").arg(path));
        if (info.isDir())
            return fail(QStringLiteral("%1 is a folder where the update needs a file").arg(path));
        if (info.exists()) {
            if (Platform::fileSystemId(path) != ourFileSystem)
                return fail(QStringLiteral("%1 lies on another file system").arg(path));
            existing->append(file);
        }
    }
    return true;
}

bool InstallTransaction::runStep(int index, const Step &step)
{
    const QString installed = join(appDir, step.path);
    QString reason;
    if (stepHook && !stepHook(index))
        reason = QStringLiteral("injected fault at step %1").arg(index);
    switch (step.kind) {
    case MakeFolder:
        if (reason.isEmpty() && QDir().mkdir(installed))
            return true;
        return fail(QStringLiteral("cannot create the folder %1%2").arg(installed,
                                                                       reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
    case KeepOld: {
        const QString backup = join(transactionDir + QLatin1Char('/') + OldFolder, step.path);
        // Two names of one file (Windows folds case): the second backup would overwrite the first.
        if (reason.isEmpty() && (QFileInfo::exists(backup) || Platform::isLink(backup)))
            reason = QStringLiteral("its backup %1 exists already; two names of the update are one file here").arg(backup);
        if (reason.isEmpty() && Platform::keepSecondName(installed, backup, &reason))
            return true;
        return fail(QStringLiteral("cannot keep a copy of %1: %2").arg(installed, reason));
    }
    case PutInPlace:
        if (reason.isEmpty() && putInPlace(step.path, &reason))
            return true;
        return fail(QStringLiteral("cannot replace %1: %2").arg(installed, reason));
    case Record:
        if (!reason.isEmpty())
            return fail(QStringLiteral("cannot write the install journal: %1").arg(reason));
        return writeJournal(QStringLiteral("committed"));
    }
    return false;
}

bool InstallTransaction::putInPlace(const QString &relative, QString *reason)
{
    const QString installed = join(appDir, relative);
    // One rename: at every moment the name holds the old file or the new one.
    if (Platform::replaceFile(stagedPath(relative), installed, reason))
        return true;
    if (!filesExisting.contains(relative))
        return false;
    // Windows lets a running program be moved, not replaced: the two renames back
    // to back, and the backup taken before restores it should we stop between them.
    const QString replaced = join(transactionDir + QLatin1Char('/') + ReplacedFolder, relative);
    QString why;
    if (!QDir().mkpath(QFileInfo(replaced).path()) || !Platform::replaceFile(installed, replaced, &why))
        return false;
    if (Platform::replaceFile(stagedPath(relative), installed, reason))
        return true;
    Platform::replaceFile(replaced, installed, &why);
    return false;
}

void InstallTransaction::rollBack()
{
    const QString why = error;
    QSet<QString> existed;
    for (const QString &file : qAsConst(filesExisting))
        existed.insert(file);
    const QStringList failures = undo(appDir, transactionDir, newFiles, existed, foldersCreated);
    if (failures.isEmpty()) {
        state = RolledBack;
        Platform::removeTree(transactionDir);
        error = why;
        return;
    }
    // Keep the transaction folder: it holds the copies, and the next start tries again.
    state = RollbackIncomplete;
    error = QStringLiteral("%1; not restored: %2").arg(why, failures.join(QStringLiteral(", ")));
}

bool InstallTransaction::commit()
{
    if (transactionDir.isEmpty())
        return fail(QStringLiteral("nothing was staged"));
    if (newFiles.isEmpty())
        return fail(QStringLiteral("the update holds no files"));
    // Staged bytes reach the disk before any name in the application changes.
    QStringList staged;
    staged.reserve(newFiles.size());
    for (const QString &file : qAsConst(newFiles))
        staged.append(stagedPath(file));
    QString reason;
    if (!Platform::flushFiles(transactionDir, staged, &reason))
        return fail(reason);
    Platform::flushFolder(transactionDir);

    QStringList folders;
    QStringList existing;
    if (!checkPlan(&folders, &existing))
        return false;
    foldersCreated = folders;
    filesExisting = existing;
    const QSet<QString> existed(existing.cbegin(), existing.cend());
    steps.clear();
    for (const QString &folder : qAsConst(foldersCreated))
        steps.append({ MakeFolder, folder });
    const QDir backups(transactionDir + QLatin1Char('/') + OldFolder);
    for (const QString &file : qAsConst(newFiles)) {
        if (existed.contains(file)) {
            if (!backups.mkpath(QFileInfo(file).path()))
                return fail(QStringLiteral("cannot write into %1").arg(backups.path()));
            steps.append({ KeepOld, file });
        }
        steps.append({ PutInPlace, file });
    }
    steps.append({ Record, QString() });

    if (!writeJournal(QStringLiteral("committing")))
        return false;
    for (int i = 0; i < steps.size(); ++i) {
        if (!runStep(i, steps.at(i))) {
            rollBack();
            return false;
        }
    }
    state = Committed;
    if (stepHook)
        stepHook(steps.size()); // the clean-up, which a crash may still interrupt
    Platform::flushFolder(appDir);
    removeFinished(transactionDir);
    return true;
}

namespace {

// What a transaction's journal says, once it is found trustworthy.
struct Journal
{
    QString phase;
    QStringList files;
    QStringList existing;
    QStringList folders;
};

// Reads the journal of the transaction \a folder; why it cannot be trusted, or an empty string.
QString readJournal(const QString &appDir, const QString &folder, Journal *journal)
{
    const QString path = join(folder, JournalName);
    QFile file(path);
    const QJsonDocument document = !Platform::isLink(path) && file.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(file.read(MaxJournalSize + 1)) : QJsonDocument();
    const QJsonObject object = document.object();
    journal->phase = object.value(QStringLiteral("phase")).toString();
    if (!document.isObject())
        return QStringLiteral("it cannot be read");
    if (journal->phase == QLatin1String("committing")
        && (!toList(object.value(QStringLiteral("files")), &journal->files)
            || !toList(object.value(QStringLiteral("existing")), &journal->existing)
            || !toList(object.value(QStringLiteral("folders")), &journal->folders)))
        return QStringLiteral("it lacks its lists of files");
    if (journal->phase != QLatin1String("staging") && journal->phase != QLatin1String("committing")
        && journal->phase != QLatin1String("committed"))
        return QStringLiteral("its phase is unknown");
    return journalProblem(appDir, folder, journal->files, journal->existing, journal->folders);
}

// What recovery found and did, said in one paragraph.
struct Recovery
{
    int undone = 0;
    int finished = 0;
    int discarded = 0;
    int stillInUse = 0;
    QStringList links;
    QStringList untrusted;
    QStringList failures;

    QString text(const QString &appDir) const
    {
        QStringList said;
        if (undone > 0)
            said << QStringLiteral("an interrupted update was undone; the application is back at its previous version");
        if (!failures.isEmpty())
            said << QStringLiteral("an interrupted update could not be fully undone; not restored: %1")
                        .arg(failures.join(QStringLiteral(", ")));
        if (finished > 0)
            said << (stillInUse > 0 ? QStringLiteral("the previous update was complete; %1 old file(s) still in use "
                                                     "will be removed at the next start").arg(stillInUse)
                                    : QStringLiteral("the previous update was complete; its old files were removed"));
        if (discarded > 0)
            said << QStringLiteral("%1 unfinished staging folder(s) were removed; the application was not changed")
                        .arg(discarded);
        if (!links.isEmpty())
            said << QStringLiteral("links with the updater's working names were removed, their targets untouched: %1")
                        .arg(links.join(QStringLiteral(", ")));
        if (!untrusted.isEmpty())
            said << QStringLiteral("an update journal that cannot be trusted was left alone, nothing was changed; "
                                   "please look at %1 in %2").arg(untrusted.join(QStringLiteral(", ")),
                                                                  QDir::toNativeSeparators(appDir));
        return said.join(QStringLiteral("; "));
    }
};

// Finishes, undoes or discards the transaction \a name that a killed process left in \a appDir.
void recoverOne(const QString &appDir, const QString &name, Recovery *recovery)
{
    const QString folder = join(appDir, name);
    // Never ours: removed as a link, its target untouched.
    if (Platform::isLink(folder)) {
        Platform::removeTree(folder);
        recovery->links << name;
        return;
    }
    const QString journalPath = join(folder, JournalName);
    if (!QFileInfo::exists(journalPath) && !Platform::isLink(journalPath)) {
        // Staging only (or an earlier version's staging): the application was never touched.
        Platform::removeTree(folder);
        ++recovery->discarded;
        return;
    }
    Journal journal;
    const QString problem = readJournal(appDir, folder, &journal);
    if (!problem.isEmpty()) {
        recovery->untrusted << QStringLiteral("%1 (%2)").arg(name, problem);
        return;
    }
    if (journal.phase == QLatin1String("committed")) {
        recovery->stillInUse += removeFinished(folder);
        ++recovery->finished;
    } else if (journal.phase == QLatin1String("committing")) {
        const QStringList left = undo(appDir, folder, journal.files,
                                      QSet<QString>(journal.existing.cbegin(), journal.existing.cend()), journal.folders);
        if (left.isEmpty()) {
            Platform::removeTree(folder);
            ++recovery->undone;
        } else {
            recovery->failures += left;
        }
    } else {
        Platform::removeTree(folder);
        ++recovery->discarded;
    }
}

} // namespace

QString InstallTransaction::recover(const QString &directory)
{
    const QDir dir(directory);
    Recovery recovery;
    const QStringList names = dir.entryList({ QLatin1String(WorkingNames::TransactionPrefix) + QLatin1Char('*'),
                                              QLatin1String(WorkingNames::StagingPrefix) + QLatin1Char('*') },
                                            QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names)
        recoverOne(dir.absolutePath(), name, &recovery);
    return recovery.text(dir.absolutePath());
}
