#ifndef INSTALLTRANSACTION_H
#define INSTALLTRANSACTION_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

/*!
    Installs a set of files into the application's folder as one unit: after
    commit() the folder holds exactly the new files, after a failure exactly
    the old ones.

    Files are staged into a transaction folder beside the application (the
    same file system) and flushed to disk before anything is touched. commit()
    checks the plan against the folder (a file where a folder is needed or the
    reverse, a link on any path it writes through, another file system), then
    for each file gives the existing one a second name in the transaction's
    backup folder (a hard link, else a copy) and renames the staged one over
    it in one step, so that a kill at any moment leaves every name of the
    application present, old or new. Where the system will not replace a file
    in one step (a running program on Windows), it is moved aside and the new
    one put in its place back to back. A journal in the transaction folder,
    written atomically, holds the plan and the phase; the backups and the
    staged files record each step, and recover() uses them to undo an
    interrupted commit in a later process.
*/
class InstallTransaction
{
public:
    enum Outcome { Pending, Committed, RolledBack, RollbackIncomplete };

    explicit InstallTransaction(const QString &directory);
    ~InstallTransaction();

    /*! Creates the transaction folder. */
    bool begin();
    /*! Where the new file \a relative is to be written before it is added. */
    QString stagedPath(const QString &relative) const;
    /*! A scratch file of the transaction's own, outside what it installs; removed with the transaction. */
    QString scratchPath() const;
    /*! Where the file \a relative lies in the application's folder. */
    QString installedPath(const QString &relative) const;
    /*! Records a staged file, written and closed; commit() flushes it to disk first. */
    void addFile(const QString &relative);
    /*! Records a folder the update needs, even if it holds no file. */
    void addFolder(const QString &relative);

    bool commit();
    Outcome outcome() const { return state; }
    QString errorString() const { return error; }
    QStringList files() const { return newFiles; }

    /*!
        The seam for fault tests: called before every commit step with its
        number, from 0; returning false makes that step fail. It is called once
        more, with the number of steps, after the commit was recorded and
        before the clean-up (its result is ignored there).
    */
    void setStepHook(const std::function<bool(int)> &hook) { stepHook = hook; }

    /*!
        Looks in \a directory for transactions that a killed process left and
        undoes them (or completes one whose commit was recorded as finished),
        and removes leftover staging folders. Returns one paragraph saying what
        it found and did, or an empty string when there was nothing.
    */
    static QString recover(const QString &directory);

private:
    enum StepKind { MakeFolder, KeepOld, PutInPlace, Record };
    struct Step
    {
        StepKind kind;
        QString path;
    };

    bool fail(const QString &message);
    bool checkPlan(QStringList *folders, QStringList *existing);
    bool writeJournal(const QString &phase);
    bool runStep(int index, const Step &step);
    bool putInPlace(const QString &relative, QString *reason);
    void rollBack();

    QString appDir;
    QString transactionDir;
    QStringList newFiles;
    QStringList newFolders;
    QStringList foldersCreated;
    QStringList filesExisting;
    QVector<Step> steps;
    std::function<bool(int)> stepHook;
    Outcome state = Pending;
    QString error;
};

#endif // INSTALLTRANSACTION_H
