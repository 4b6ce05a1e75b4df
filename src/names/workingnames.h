#ifndef WORKINGNAMES_H
#define WORKINGNAMES_H

#include <QString>

/*!
    The names the tool itself uses in the application's folder: install
    transactions, staging folders of earlier versions, the update lock, and
    the part and side files of downloads. An update may never carry one of
    them, or anything below one: recovery and the next download would read it
    as their own. The archive reader and updater-publish both ask here.
*/
class WorkingNames
{
public:
    static constexpr const char *TransactionPrefix = ".update-transaction-";
    static constexpr const char *StagingPrefix = ".update-staging-";
    static constexpr const char *LockFile = ".update.lock";
    static constexpr const char *PartSuffix = ".part";
    static constexpr const char *SideSuffix = ".resume";

    /*!
        Why \a name (a relative path in the application's folder) is or lies
        under one of the working names, compared as Windows compares names;
        empty when it is not.
    */
    static QString reservedReason(const QString &name);
};

#endif // WORKINGNAMES_H
