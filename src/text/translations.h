#ifndef TRANSLATIONS_H
#define TRANSLATIONS_H

#include <QString>
#include <QStringList>

/*!
    The languages the tool ships, compiled into its resources, and the choice
    among them. An English system, or one whose languages we do not ship,
    keeps every text as written.
*/
class Translations
{
public:
    /*! The shipped languages, as their file names carry them ("de", "pt_BR", ...). */
    static QStringList shipped();

    /*!
        The shipped language that best serves \a uiLanguages (the user's,
        most preferred first, as QLocale::uiLanguages() gives them); empty when
        English comes first, or none is shipped.
    */
    static QString choose(const QStringList &uiLanguages);

    /*!
        Installs the tool's translation for \a language into the application,
        with Qt's own (the message box's buttons) where Qt has one; false when
        \a language is not shipped. Replaces what an earlier call installed.
    */
    static bool install(const QString &language);
};

#endif // TRANSLATIONS_H
