// updater-publish: lays out a new version of an application on the update
// server's folder, with the file names, URLs, sizes and SHA-256 the updater
// computes and checks.
#include "manifest/manifestsignature.h"
#include "publisher.h"
#include "releasepruner.h"
#include "s3uploader.h"
#include "verifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

// updater-publish keygen --out key.pem
int keygen(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a new Ed25519 signing key (PKCS#8 PEM, owner-only) and prints its public key for UPDATER_PUBLIC_KEYS."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("keygen"), QStringLiteral("The command."));
    parser.addOption({ QStringLiteral("out"), QStringLiteral("Where to write the private key."), QStringLiteral("file") });
    parser.process(app);
    if (!parser.isSet(QStringLiteral("out"))) {
        std::fprintf(stderr, "updater-publish keygen: --out is required\n");
        return 1;
    }
    QString error;
    const QString publicKey = generateSigningKey(parser.value(QStringLiteral("out")), &error);
    if (publicKey.isEmpty()) {
        std::fprintf(stderr, "updater-publish keygen: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(publicKey));
    return 0;
}

// updater-publish verify --public-key KEY... FOLDER|URL
int verify(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks a published folder or a deployed manifest URL as a client would."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("verify"), QStringLiteral("The command."));
    parser.addPositionalArgument(QStringLiteral("location"), QStringLiteral("The folder holding updates.json, or its URL."));
    parser.addOption({ QStringLiteral("public-key"), QStringLiteral("A trusted public key (base64); repeatable."),
                       QStringLiteral("key") });
    parser.addOption({ QStringLiteral("ca-file"), QStringLiteral("A PEM file of certificate authorities to trust too "
                                                                 "(those compiled in are trusted); repeatable."),
                       QStringLiteral("file") });
    parser.process(app);
    for (const QString &path : parser.values(QStringLiteral("ca-file"))) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || Verifier::trustCertificates(file.readAll()) == 0) {
            std::fprintf(stderr, "updater-publish verify: %s holds no PEM certificate\n", qPrintable(path));
            return 1;
        }
    }
    if (parser.positionalArguments().size() != 2) {
        std::fprintf(stderr, "updater-publish verify: give one folder or URL\n");
        return 1;
    }
    QList<QByteArray> keys;
    for (const QString &text : parser.values(QStringLiteral("public-key"))) {
        const QByteArray key = ManifestSignature::fromBase64(text.toLatin1());
        if (key.size() != 32) {
            std::fprintf(stderr, "updater-publish verify: \"%s\" is not a base64 Ed25519 public key\n", qPrintable(text));
            return 1;
        }
        keys.append(key);
    }
    Verifier verifier(keys);
    const bool ok = verifier.verify(parser.positionalArguments().at(1));
    for (const QString &line : verifier.report())
        std::printf("%s\n", qPrintable(line));
    return ok ? 0 : 1;
}

QList<QCommandLineOption> publishOptions();

// updater-publish rollout --output DIR --name NAME [--platform KEY] --percent P [--sign-key FILE...] [--expires DATE]
int rollout(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Changes the share of installations a published release is offered to, and signs the manifest again; "
        "no other file is touched. 0 halts a rollout, 100 completes it; --rollback withdraws the release and "
        "makes the previous one current again. Installations outside the share are offered the previous release."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("rollout"), QStringLiteral("The command."));
    // The options it shares with publishing, as publishing words them.
    const QStringList shared = { QStringLiteral("output"), QStringLiteral("name"), QStringLiteral("platform"),
                                 QStringLiteral("sign-key"), QStringLiteral("expires") };
    for (const QCommandLineOption &option : publishOptions()) {
        if (shared.contains(option.names().constFirst()))
            parser.addOption(option);
    }
    parser.addOption({ QStringLiteral("percent"), QStringLiteral("The share of installations offered the release, 0 to 100."),
                       QStringLiteral("percent") });
    parser.addOption({ QStringLiteral("rollback"), QStringLiteral("Withdraw the release: the previous one, kept in the "
                                                                  "manifest, becomes current again as it was.") });
    parser.process(app);
    RolloutRequest request;
    request.output = parser.value(QStringLiteral("output"));
    request.name = parser.value(QStringLiteral("name"));
    request.platform = parser.value(QStringLiteral("platform"));
    bool ok = false;
    request.percent = parser.value(QStringLiteral("percent")).toInt(&ok);
    if (!ok)
        request.percent = -1;
    request.rollback = parser.isSet(QStringLiteral("rollback"));
    request.signKeys = parser.values(QStringLiteral("sign-key"));
    request.expires = parser.value(QStringLiteral("expires"));
    Publisher publisher;
    if (!publisher.setRollout(request)) {
        std::fprintf(stderr, "updater-publish rollout: %s; nothing was written\n", qPrintable(publisher.errorString()));
        return 1;
    }
    for (const QString &line : publisher.report())
        std::printf("%s\n", qPrintable(line));
    return 0;
}

// updater-publish prune --store DIR --output DIR --name NAME --keep N [--dry-run]
int prune(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sets aside what no client can still be offered: the store's releases beyond the newest N, and the "
        "output's release files that neither those releases nor a manifest still in use name (a replaced "
        "manifest stays in use until its expiry, or for 14 days). What is set aside moves into the store's "
        "trash/<date>/ and is deleted by a later prune after 14 days."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("prune"), QStringLiteral("The command."));
    parser.addOption({ QStringLiteral("store"), QStringLiteral("The release store."), QStringLiteral("dir") });
    parser.addOption({ QStringLiteral("output"), QStringLiteral("Folder served at the manifest's base URL."),
                       QStringLiteral("dir") });
    parser.addOption({ QStringLiteral("name"), QStringLiteral("Application name."), QStringLiteral("name") });
    parser.addOption({ QStringLiteral("keep"), QStringLiteral("The newest releases kept (default 3)."),
                       QStringLiteral("n"), QStringLiteral("3") });
    parser.addOption({ QStringLiteral("dry-run"), QStringLiteral("Print what would be kept, moved and deleted.") });
    parser.process(app);
    PruneRequest request;
    request.store = parser.value(QStringLiteral("store"));
    request.output = parser.value(QStringLiteral("output"));
    request.name = parser.value(QStringLiteral("name"));
    bool ok = false;
    request.keep = parser.value(QStringLiteral("keep")).toInt(&ok);
    if (!ok)
        request.keep = 0;
    request.dryRun = parser.isSet(QStringLiteral("dry-run"));
    ReleasePruner pruner;
    const bool pruned = pruner.prune(request);
    for (const QString &line : pruner.report())
        std::printf("%s\n", qPrintable(line));
    if (!pruned) {
        std::fprintf(stderr, "updater-publish prune: %s\n", qPrintable(pruner.errorString()));
        return 1;
    }
    return 0;
}

// updater-publish upload --output DIR --to s3://BUCKET/PREFIX [--endpoint URL]
int upload(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Puts the output into S3-compatible object storage in the order that keeps every client whole: release "
        "files first (a file already there with the same SHA-256 skipped, one with other bytes refused), each read "
        "back, then the signature and the manifest, written only if nobody replaced it meanwhile. Credentials and "
        "region from AWS_ACCESS_KEY_ID, AWS_SECRET_ACCESS_KEY, AWS_SESSION_TOKEN and AWS_REGION (default "
        "us-east-1)."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("upload"), QStringLiteral("The command."));
    parser.addOption({ QStringLiteral("output"), QStringLiteral("The folder updater-publish wrote."),
                       QStringLiteral("dir") });
    parser.addOption({ QStringLiteral("to"), QStringLiteral("Where: s3://BUCKET/PREFIX, the prefix the manifest's "
                                                            "base URL serves."), QStringLiteral("url") });
    parser.addOption({ QStringLiteral("endpoint"), QStringLiteral("An S3-compatible service (path-style), e.g. "
                                                                  "https://ACCOUNT.r2.cloudflarestorage.com."),
                       QStringLiteral("url") });
    parser.process(app);
    UploadRequest request { parser.value(QStringLiteral("output")), parser.value(QStringLiteral("to")),
                            parser.value(QStringLiteral("endpoint")), S3Uploader::credentialsFromEnvironment() };
    S3Uploader uploader;
    const bool uploaded = uploader.upload(request);
    for (const QString &line : uploader.report())
        std::printf("%s\n", qPrintable(line));
    if (!uploaded) {
        std::fprintf(stderr, "updater-publish upload: %s\n", qPrintable(uploader.errorString()));
        return 1;
    }
    return 0;
}

QList<QCommandLineOption> publishOptions()
{
    return {
        { QStringLiteral("name"), QStringLiteral("Application name."), QStringLiteral("name") },
        { QStringLiteral("platform"), QStringLiteral("Platform key (default windows)."), QStringLiteral("key"),
          QStringLiteral("windows") },
        { QStringLiteral("patch-version"), QStringLiteral("Version the patch brings."), QStringLiteral("version") },
        { QStringLiteral("full-version"), QStringLiteral("Version of the installer."), QStringLiteral("version") },
        { QStringLiteral("modify-time"), QStringLiteral("Modify time of the build."), QStringLiteral("n"),
          QStringLiteral("0") },
        { QStringLiteral("modify-count"), QStringLiteral("Modify count of the build."), QStringLiteral("n"),
          QStringLiteral("0") },
        { QStringLiteral("changelog"), QStringLiteral("Change log text."), QStringLiteral("text") },
        { QStringLiteral("changelog-file"), QStringLiteral("Read the change log from a file."), QStringLiteral("file") },
        { QStringLiteral("patch-url"), QStringLiteral("URL prefix of the patches (ends in /)."), QStringLiteral("url") },
        { QStringLiteral("full-url"), QStringLiteral("URL prefix of the installers (ends in /)."), QStringLiteral("url") },
        { QStringLiteral("installer"), QStringLiteral("The full installer file."), QStringLiteral("file") },
        { QStringLiteral("patch-dir"), QStringLiteral("Folder with the files of the patch."), QStringLiteral("dir") },
        { QStringLiteral("from"), QStringLiteral("The application as installed, old release (with --to)."),
          QStringLiteral("dir") },
        { QStringLiteral("to"), QStringLiteral("The application as installed, new release: the patch is what "
                                               "changed since --from."), QStringLiteral("dir") },
        { QStringLiteral("delta-from"), QStringLiteral("An earlier release as installed, and the version its clients "
                                                       "report: a delta for them beside the patch; repeatable."),
          QStringLiteral("dir=version") },
        { QStringLiteral("mirror"), QStringLiteral("Another URL prefix (ends in /) under which the same files lie, "
                                                   "asked when one fails; repeatable."), QStringLiteral("url") },
        { QStringLiteral("patch-for"), QStringLiteral("An installed version the patch was made for; repeatable. "
                                                      "Needed with --from (its version)."), QStringLiteral("version") },
        { QStringLiteral("rollout"), QStringLiteral("Offer the release to this share of installations (default 100)."),
          QStringLiteral("percent"), QStringLiteral("100") },
        { QStringLiteral("output"), QStringLiteral("Folder served at the manifest's base URL."), QStringLiteral("dir") },
        { QStringLiteral("download-full"), QStringLiteral("Ask every client for the installer.") },
        { QStringLiteral("sign-key"), QStringLiteral("Sign updates.json with this Ed25519 key (PEM); repeatable."),
          QStringLiteral("file") },
        { QStringLiteral("expires"), QStringLiteral("Clients refuse the manifest after this date (ISO 8601, UTC)."),
          QStringLiteral("date") },
        { QStringLiteral("client-version"), QStringLiteral("Print what a client at this version is offered by the "
                                                           "manifest (with --dry-run, the one not written)."),
          QStringLiteral("version") },
        { QStringLiteral("client-modify-time"), QStringLiteral("With --client-version: the client's modify time "
                                                               "(default: the release's)."),
          QStringLiteral("n") },
        { QStringLiteral("client-modify-count"), QStringLiteral("With --client-version: the client's modify count "
                                                                "(default: the release's)."),
          QStringLiteral("n") },
        { QStringLiteral("dry-run"), QStringLiteral("Check and compose everything, print what would be written, "
                                                    "write nothing.") },
        { QStringLiteral("store"), QStringLiteral("The release store: --to is recorded there as --patch-version; unless "
                                                  "--from or --patch-dir is given, the patch is made against the "
                                                  "newest earlier release in it, and deltas from the newest few."),
          QStringLiteral("dir") },
        { QStringLiteral("deltas"), QStringLiteral("With --store: deltas from this many of the newest earlier releases "
                                                   "(default 3)."), QStringLiteral("n"), QStringLiteral("3") },
        { QStringLiteral("replace"), QStringLiteral("Allow a published file to get other bytes under its name "
                                                    "(clients that installed it are not offered it again).") },
    };
}

// The request the command line describes; false (with the reason printed) when it cannot be read.
bool readRequest(const QCommandLineParser &parser, PublishRequest *request)
{
    request->name = parser.value(QStringLiteral("name"));
    request->platform = parser.value(QStringLiteral("platform"));
    request->patchVersion = parser.value(QStringLiteral("patch-version"));
    request->fullVersion = parser.value(QStringLiteral("full-version"));
    request->modifyTime = parser.value(QStringLiteral("modify-time"));
    request->modifyCnt = parser.value(QStringLiteral("modify-count"));
    request->changelog = parser.value(QStringLiteral("changelog"));
    if (parser.isSet(QStringLiteral("changelog-file"))) {
        QFile file(parser.value(QStringLiteral("changelog-file")));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "updater-publish: cannot read %s\n", qPrintable(file.fileName()));
            return false;
        }
        request->changelog = QString::fromUtf8(file.readAll()).trimmed();
    }
    request->patchUrl = parser.value(QStringLiteral("patch-url"));
    request->fullUrl = parser.value(QStringLiteral("full-url"));
    request->installer = parser.value(QStringLiteral("installer"));
    request->patchDir = parser.value(QStringLiteral("patch-dir"));
    request->fromDir = parser.value(QStringLiteral("from"));
    request->toDir = parser.value(QStringLiteral("to"));
    request->output = parser.value(QStringLiteral("output"));
    request->downloadFull = parser.isSet(QStringLiteral("download-full"));
    request->dryRun = parser.isSet(QStringLiteral("dry-run"));
    request->replace = parser.isSet(QStringLiteral("replace"));
    request->store = parser.value(QStringLiteral("store"));
    bool count = false;
    request->deltas = parser.value(QStringLiteral("deltas")).toInt(&count);
    if (!count)
        request->deltas = -1;
    request->signKeys = parser.values(QStringLiteral("sign-key"));
    request->expires = parser.value(QStringLiteral("expires"));
    request->patchFor = parser.values(QStringLiteral("patch-for"));
    request->mirrors = parser.values(QStringLiteral("mirror"));
    bool percent = false;
    request->rollout = parser.value(QStringLiteral("rollout")).toInt(&percent);
    if (!percent)
        request->rollout = -1;
    for (const QString &value : parser.values(QStringLiteral("delta-from"))) {
        const int equals = value.lastIndexOf(QLatin1Char('='));
        if (equals <= 0) {
            std::fprintf(stderr, "updater-publish: --delta-from takes DIR=VERSION, not \"%s\"\n", qPrintable(value));
            return false;
        }
        request->deltaFrom.append({ value.left(equals), value.mid(equals + 1) });
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("updater-publish"));
    if (argc > 1 && qstrcmp(argv[1], "keygen") == 0)
        return keygen(app);
    if (argc > 1 && qstrcmp(argv[1], "verify") == 0)
        return verify(app);
    if (argc > 1 && qstrcmp(argv[1], "rollout") == 0)
        return rollout(app);
    if (argc > 1 && qstrcmp(argv[1], "prune") == 0)
        return prune(app);
    if (argc > 1 && qstrcmp(argv[1], "upload") == 0)
        return upload(app);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Publishes an update: writes <output>/<name>/updates.json, the patch archive and the installer.\n\n"
        "Other commands (each with --help):\n"
        "  updater-publish keygen --out FILE         a new signing key; prints its public key\n"
        "  updater-publish verify [--public-key KEY] FOLDER|URL\n"
        "                                            checks a published folder or a deployment as a client would\n"
        "  updater-publish rollout --output DIR --name NAME (--percent P | --rollback)\n"
        "                                            widens, halts or withdraws a staged release\n"
        "  updater-publish prune --store DIR --output DIR --name NAME --keep N\n"
        "                                            sets aside what no client can still be offered\n"
        "  updater-publish upload --output DIR --to s3://BUCKET/PREFIX [--endpoint URL]\n"
        "                                            puts the output into S3-compatible storage, manifest last"));
    parser.addHelpOption();
    parser.addOptions(publishOptions());
    parser.process(app);

    PublishRequest request;
    if (!readRequest(parser, &request))
        return 1;
    Publisher publisher;
    if (!publisher.publish(request)) {
        std::fprintf(stderr, "updater-publish: %s; nothing was written\n", qPrintable(publisher.errorString()));
        return 1;
    }
    for (const QString &line : publisher.report())
        std::printf("%s\n", qPrintable(line));
    if (parser.isSet(QStringLiteral("client-version"))) {
        const auto given = [&parser](const QString &name) {
            return parser.isSet(name) ? parser.value(name) : QString();
        };
        std::printf("client: %s\n", qPrintable(publisher.dryRun(parser.value(QStringLiteral("client-version")),
                                                                given(QStringLiteral("client-modify-time")),
                                                                given(QStringLiteral("client-modify-count")))));
    }
    return 0;
}
