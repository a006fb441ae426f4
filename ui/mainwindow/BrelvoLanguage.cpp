// Languages, the settings file, the local address list and the two browse
// dialogs.
#include "mainwindow/Brelvo.h"

#include "dialogs/MessageBoxDlg.h"
#include "widgets/ComboBox.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHostAddress>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QSettings>
#include <QTranslator>

namespace {

const QString kSettingsFile = QStringLiteral("server.ini");
const QString kResourcePrefix = QStringLiteral(":/Resources/");

} // namespace

int Brelvo::loadLanguageList(QStringList& files, QStringList& names)
{
    return loadLanguageList(files, names, translationsDir);
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

void Brelvo::applyLanguage(int flag)
{
    const int i = languageBox->currentIndex();
    if (i >= 0 && i < translationFiles.size()) {
        const QString& file = translationFiles.at(i);
        if (flag == -1) {
            translationPath = kResourcePrefix + file;
        } else {
            translationPath = translationsDir + QLatin1Char('/') + file;
            if (!QFileInfo::exists(translationPath))
                translationPath = kResourcePrefix + file;
        }
    }

    QTranslator translator;
    translator.load(translationPath);
    QCoreApplication::installTranslator(&translator);
    refreshTexts();
    if (!translationPath.isEmpty()) {
        QSettings settings(kSettingsFile, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Language"), translationPath);
    }
    QCoreApplication::removeTranslator(&translator);
}

void Brelvo::languageItemChanged(int flag)
{
    applyLanguage(flag);
    MessageBoxDlg::showStartTips(this, translationPath);
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
    ipList->addItems(addresses);
}

void Brelvo::browseUpdateFilePath()
{
    const QString folder = QFileDialog::getExistingDirectory(
        nullptr, texts.value(QStringLiteral("choseUptFilePath")), QDir::currentPath(),
        QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        updateFilePath->setText(QDir::toNativeSeparators(folder));
}

void Brelvo::browseInitFilePath()
{
    const QString file = QFileDialog::getOpenFileName(
        nullptr, texts.value(QStringLiteral("choseIniFilePath")), QStringLiteral("/"),
        QStringLiteral("Config file(*.cfg);; All files(*.*)"));
    if (file.isEmpty())
        return;
    initFilePath->setText(file);
    // Programmatic: no clicked signal, so the erase warning stays away.
    clearBoot->setChecked(true);
}
