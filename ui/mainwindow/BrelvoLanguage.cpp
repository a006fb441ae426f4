// SPDX-License-Identifier: MIT
// Languages, the settings file, the local address list and the two browse
// dialogs.
#include "mainwindow/Brelvo.h"

#include "dialogs/MessageBoxDlg.h"
#include "widgets/ComboBox.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHostAddress>
#include <QLineEdit>
#include <QNetworkInterface>
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

void Brelvo::fillLocalAddresses()
{
    QStringList addresses;
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress& address : all) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (address == QHostAddress(QHostAddress::LocalHost))
            continue;
        addresses << address.toString();
    }
    localAddressBox_->addItems(addresses);
}

// Where a picker opens: the folder its own field names when that still
// exists, else the folder last picked from (remembered across runs), else
// the home folder; never merely the working directory.
QString Brelvo::pickerStartFolder(const QString& fieldFolder) const
{
    for (const QString& folder : {fieldFolder, lastFolder_}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

void Brelvo::browseFirmwareDir()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Title.choseUptFilePath"), pickerStartFolder(firmwareDirEdit_->text()), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    firmwareDirEdit_->setText(QDir::toNativeSeparators(folder));
    rememberPickedFolder(folder);
}

void Brelvo::browseConfigFile()
{
    const QString current = configFileEdit_->text();
    const QString filters = tr("Filter.configFiles") + QStringLiteral(";;") + tr("Filter.allFiles");
    const QString file =
        QFileDialog::getOpenFileName(this, tr("Title.choseIniFilePath"),
                                     pickerStartFolder(current.isEmpty() ? QString() : QFileInfo(current).path()),
                                     filters);
    if (file.isEmpty())
        return;
    configFileEdit_->setText(file);
    rememberPickedFolder(QFileInfo(file).path());
    // Programmatic: no clicked signal, so the erase warning stays away.
    eraseBootCheck_->setChecked(true);
}
