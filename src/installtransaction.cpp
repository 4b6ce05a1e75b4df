#include "installtransaction.h"

#include "platform.h"

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
// What an earlier version of the tool staged into; never holds a commit.
const QString OldStagingPrefix = QStringLiteral(".update-staging-");

QString join(const QString &folder, const QString &relative)
{
    return folder + QLatin1Char('/') + relative;
}

QJsonArray toArray(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QStringList toList(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &v : value.toArray())
        list.append(v.toString());
    return list;
}

// Undoes whatever part of a commit is done, reading each file's place from
// the file system: a staged file that is gone was put in place, a backup that
// exists was moved aside. Safe to run again after it was interrupted itself.
// Returns the files that could not be restored, with where their copies lie.
QStringList undo(const QString &appDir, const QString &transactionDir, const QStringList &files,
                 const QSet<QString> &existing, const QStringList &folders)
{
    QStringList failures;
    for (int i = files.size() - 1; i >= 0; --i) {
        const QString &relative = files.at(i);
        const QString installed = join(appDir, relative);
        const QString staged = join(transactionDir + QLatin1Char('/') + NewFolder, relative);
        const QString backup = join(transactionDir + QLatin1Char('/') + OldFolder, relative);
        const bool existed = existing.contains(relative);
        const bool movedAside = existed && QFileInfo::exists(backup);
        QString reason;
        if (!QFileInfo::exists(staged) && QFileInfo::exists(installed) && (!existed || movedAside)) {
            QDir().mkpath(QFileInfo(staged).path());
            if (!Platform::replaceFile(installed, staged, &reason) && !QFile::remove(installed)) {
                failures.append(QStringLiteral("%1 (the new file stays: %2)").arg(relative, reason));
                continue;
            }
        }
        if (movedAside && !Platform::replaceFile(backup, installed, &reason))
            failures.append(QStringLiteral("%1 (its old copy is %2: %3)").arg(relative, backup, reason));
    }
    for (int i = folders.size() - 1; i >= 0; --i) {
        const QString folder = join(appDir, folders.at(i));
        if (QFileInfo(folder).isDir() && !QDir().rmdir(folder))
            failures.append(QStringLiteral("%1 (a folder the update created)").arg(folders.at(i)));
    }
    return failures;
}

// Removes a finished transaction's folder; what cannot go yet (a program
// still running on Windows) stays for the next start. Returns what stayed.
int removeFinished(const QString &transactionDir)
{
    QDir(transactionDir).removeRecursively();
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
        QDir(transactionDir).removeRecursively();
}

bool InstallTransaction::fail(const QString &message)
{
    error = message;
    return false;
}

bool InstallTransaction::begin()
{
    QTemporaryDir folder(join(appDir, QLatin1String(FolderPrefix) + QStringLiteral("XXXXXX")));
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
    case MoveAside:
        if (reason.isEmpty() && Platform::replaceFile(installed, join(transactionDir + QLatin1Char('/') + OldFolder, step.path), &reason))
            return true;
        return fail(QStringLiteral("cannot move %1 aside: %2").arg(installed, reason));
    case PutInPlace:
        if (reason.isEmpty() && Platform::replaceFile(stagedPath(step.path), installed, &reason))
            return true;
        return fail(QStringLiteral("cannot replace %1: %2").arg(installed, reason));
    case Record:
        if (!reason.isEmpty())
            return fail(QStringLiteral("cannot write the install journal: %1").arg(reason));
        return writeJournal(QStringLiteral("committed"));
    }
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
        QDir(transactionDir).removeRecursively();
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
            steps.append({ MoveAside, file });
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

QString InstallTransaction::recover(const QString &directory)
{
    const QDir dir(directory);
    int undone = 0;
    int finished = 0;
    int discarded = 0;
    int stillInUse = 0;
    QStringList failures;
    const QStringList names = dir.entryList({ QLatin1String(FolderPrefix) + QLatin1Char('*'), OldStagingPrefix + QLatin1Char('*') },
                                            QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString folder = dir.filePath(name);
        QFile file(join(folder, JournalName));
        const QJsonObject journal = file.open(QIODevice::ReadOnly)
                ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
        file.close();
        const QString phase = journal.value(QStringLiteral("phase")).toString();
        if (phase == QLatin1String("committed")) {
            stillInUse += removeFinished(folder);
            ++finished;
        } else if (phase == QLatin1String("committing")) {
            const QStringList existing = toList(journal.value(QStringLiteral("existing")));
            const QStringList left = undo(dir.absolutePath(), folder, toList(journal.value(QStringLiteral("files"))),
                                          QSet<QString>(existing.cbegin(), existing.cend()),
                                          toList(journal.value(QStringLiteral("folders"))));
            if (left.isEmpty()) {
                QDir(folder).removeRecursively();
                ++undone;
            } else {
                failures += left;
            }
        } else {
            // Staging only, or no journal: the application was never touched.
            QDir(folder).removeRecursively();
            ++discarded;
        }
    }

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
    return said.join(QStringLiteral("; "));
}
