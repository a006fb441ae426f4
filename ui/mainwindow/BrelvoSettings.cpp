// SPDX-License-Identifier: MIT
// The inputs of a run: what they offer (this machine's addresses, the file
// pickers) and what the window remembers of them between runs, with the
// language, in the user's configuration folder
// ($XDG_CONFIG_HOME/brelvo-tool/brelvo-tool.conf): written when a run starts,
// when the language changes and when a picker chooses.
// A remembered value that no longer fits this machine (a folder or file that
// is gone, an address no card has any more, a language no catalogue offers)
// is passed over and the window keeps its own default.
#include "mainwindow/Brelvo.h"

#include "widgets/ComboBox.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHostAddress>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QSettings>

namespace {

const QString kFirmwareDir = QStringLiteral("run/firmwareDir");
const QString kConfigFile = QStringLiteral("run/configFile");
const QString kLocalAddress = QStringLiteral("run/localAddress");
const QString kLanguage = QStringLiteral("window/language");
const QString kLastFolder = QStringLiteral("pickers/lastFolder");

// A stored value as text; anything that is not plain text counts as absent.
QString storedText(const QSettings& settings, const QString& key)
{
    const QVariant value = settings.value(key);
    return value.type() == QVariant::String ? value.toString() : QString();
}

void report(const QSettings& settings)
{
    if (settings.status() != QSettings::NoError)
        qWarning("Brelvo: cannot write the settings file %s", qPrintable(settings.fileName()));
}

} // namespace

std::unique_ptr<QSettings> Brelvo::openUserSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("brelvo-tool"),
                                       QStringLiteral("brelvo-tool"));
}

void Brelvo::restoreLanguageChoice()
{
    const std::unique_ptr<QSettings> settings = openUserSettings();
    const QString language = storedText(*settings, kLanguage);
    const int index = language.isEmpty() ? -1 : catalogueFiles_.indexOf(language);
    if (index >= 0)
        languageBox_->setCurrentIndex(index);
}

void Brelvo::restoreSettings()
{
    const std::unique_ptr<QSettings> settings = openUserSettings();
    const QString firmwareDir = storedText(*settings, kFirmwareDir);
    if (!firmwareDir.isEmpty() && QFileInfo(firmwareDir).isDir())
        firmwareDirEdit_->setText(firmwareDir);
    const QString configFile = storedText(*settings, kConfigFile);
    if (!configFile.isEmpty() && QFileInfo(configFile).isFile())
        configFileEdit_->setText(configFile);
    const QString lastFolder = storedText(*settings, kLastFolder);
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir())
        lastFolder_ = lastFolder;
    const QString address = storedText(*settings, kLocalAddress);
    const int index = address.isEmpty() ? -1 : localAddressBox_->findText(address, Qt::MatchExactly);
    if (index >= 0)
        localAddressBox_->setCurrentIndex(index);
}

void Brelvo::rememberRun()
{
    const std::unique_ptr<QSettings> settings = openUserSettings();
    settings->setValue(kFirmwareDir, firmwareDirEdit_->text());
    settings->setValue(kConfigFile, configFileEdit_->text());
    settings->setValue(kLocalAddress, localAddressBox_->currentText());
    rememberLanguage(*settings);
}

void Brelvo::rememberPickedFolder(const QString& folder)
{
    lastFolder_ = folder;
    const std::unique_ptr<QSettings> settings = openUserSettings();
    settings->setValue(kLastFolder, folder);
    settings->sync();
    report(*settings);
}

void Brelvo::rememberLanguage()
{
    const std::unique_ptr<QSettings> settings = openUserSettings();
    rememberLanguage(*settings);
}

void Brelvo::rememberLanguage(QSettings& settings)
{
    const int i = languageBox_->currentIndex();
    if (i >= 0 && i < catalogueFiles_.size())
        settings.setValue(kLanguage, catalogueFiles_.at(i));
    settings.sync();
    report(settings);
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
