#ifndef RELEASESTORE_H
#define RELEASESTORE_H

#include "deltawriter.h"

#include "delta/deltaindex.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

class QLockFile;

/*!
    The publisher's release store: a plain folder that keeps every release it
    recorded, each file's bytes once by their SHA-256, and the per-file deltas
    made between them, so that no old release folder need be kept and no
    delta is made twice.

        objects/<first two hex digits>/<sha256>   a file's bytes
        releases/<name>/<version>.json            each file's path, size, SHA-256, mode
        deltas/<format>/<base sha256>-<sha256>.data  a per-file delta's data
        deltas/<format>/<base sha256>-<sha256>.json  its index entry and the data's SHA-256
        manifests/<name>/<moment>.json            each manifest published, for prune
        trash/<date>/                             what prune set aside
        publish.lock                              held by the one publisher using it

    Nothing is visible before it is whole: every file is written beside its
    name and renamed into place, a release's record after its files, a
    delta's entry after its data. What it reads back is checked as any
    stranger's input: names, hashes and sizes.
*/
class ReleaseStore : public DeltaWriter::Cache
{
public:
    struct File
    {
        QString path;        // relative to the application's folder, '/'-separated
        qint64 size = 0;
        QByteArray sha256;   // 32 bytes
        bool executable = false;
    };
    struct Release
    {
        QString version;
        QVector<File> files;
    };

    explicit ReleaseStore(const QString &root);
    ~ReleaseStore() override;

    /*! Creates the store if needed and takes its lock; false when another publisher holds it. */
    bool open();
    QString root() const { return folder; }
    /*! Reads only: deltas found are given, none made is kept (a dry run). */
    void setReadOnly(bool readOnly) { onlyReads = readOnly; }
    QString errorString() const { return error; }

    /*! The releases of \a name, newest first; false when a record is damaged. */
    bool releases(const QString &name, QVector<Release> *list);
    /*! Reads the files below \a folder (its relative paths in \a paths) as release \a version. */
    bool readFolder(const QString &folder, const QStringList &paths, const QString &version, Release *release);
    /*! The first file in which \a a and \a b differ (a path), empty when they are the same release. */
    static QString firstDifference(const Release &a, const Release &b);
    /*!
        Records \a release of \a name, its bytes read from \a folder; false
        when they are no longer the bytes \a release says.
    */
    bool record(const QString &name, const Release &release, const QString &folder);
    /*! Writes the files of \a release into the empty folder \a folder, as installed. */
    bool materialize(const Release &release, const QString &folder);

    // Per-file deltas, by the hashes of the file and its base.
    bool findDelta(const QByteArray &baseSha256, const QByteArray &sha256, DeltaIndex::File *entry,
                   QByteArray *data) override;
    void keepDelta(const DeltaIndex::File &entry, const QByteArray &data) override;
    void dropDelta(const QByteArray &baseSha256, const QByteArray &sha256) override;

    /*! Keeps a copy of a manifest \a json of \a name as published now: prune tells from them what clients may hold. */
    bool keepManifest(const QString &name, const QByteArray &json);
    /*! The manifests kept for \a name, oldest first: each file's path, named by its moment. */
    QStringList manifests(const QString &name) const;

    QString objectPath(const QByteArray &sha256) const;
    QString recordPath(const QString &name, const QString &version) const;
    QString deltaPath(const QByteArray &baseSha256, const QByteArray &sha256, const char *suffix) const;

    /*! Dot-separated decimal versions in release order: below 0 when \a a comes before \a b. */
    static int compareVersions(const QString &a, const QString &b);

private:
    bool fail(const QString &message);
    bool keepObject(const QString &source, const File &file);

    QString folder;
    bool onlyReads = false;
    std::unique_ptr<QLockFile> lock;
    QString error;
};

#endif // RELEASESTORE_H
