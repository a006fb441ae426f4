// SPDX-License-Identifier: MIT
// Languages: the catalogues on offer and the one in force, which
// "server.ini" records.
#include "mainwindow/Brelvo.h"

#include "dialogs/MessageBoxDlg.h"
#include "widgets/ComboBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QSettings>
#include <QTranslator>

#include <memory>

namespace {

const QString kSettingsFile = QStringLiteral("server.ini");
const QString kResourcePrefix = QStringLiteral(":/Resources/");

} // namespace

int Brelvo::loadLanguageList(QStringList& files, QStringList& names)
{
    return loadLanguageList(files, names, translationsDir_);
}

int Brelvo::loadLanguageList(QStringList& files, QStringList& names, const QString& folder)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return -1;

    QStringList foundFiles;
    QStringList foundNames;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        if (entry.suffix().compare(QLatin1String("qm"), Qt::CaseInsensitive) != 0)
            continue;
        foundNames << entry.completeBaseName();
        foundFiles << entry.fileName();
    }
    // A folder without any catalogue would leave the language box empty and
    // nothing to apply: keep the built-in languages then.
    if (foundFiles.isEmpty())
        return -1;
    files = foundFiles;
    names = foundNames;
    return 0;
}

void Brelvo::applyLanguage()
{
    const int i = languageBox_->currentIndex();
    if (i < 0 || i >= catalogueFiles_.size())
        return;
    const QString& file = catalogueFiles_.at(i);

    // The translations folder comes first; a catalogue missing there, or one
    // that does not load, falls back to the built-in one of that name.
    auto translator = std::make_unique<QTranslator>();
    catalogueFile_ = translationsDir_ + QLatin1Char('/') + file;
    if (!QFileInfo::exists(catalogueFile_) || !translator->load(catalogueFile_)) {
        catalogueFile_ = kResourcePrefix + file;
        if (!translator->load(catalogueFile_))
            qWarning("Brelvo: no catalogue for language '%s'", qPrintable(file));
    }

    // The new one goes in before the old one leaves, so no look-up in
    // between falls back to the bare keys.
    QCoreApplication::installTranslator(translator.get());
    std::swap(catalogue_, translator);
    translator.reset();
    // The application posts its LanguageChange to the windows; deliver it
    // now, so every text has followed when this returns.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);

    QSettings settings(kSettingsFile, QSettings::IniFormat);
    settings.setValue(QStringLiteral("Language"), catalogueFile_);
}

void Brelvo::languageChosen()
{
    applyLanguage();
    rememberLanguage();
    MessageBoxDlg::showStartTips(this);
}
