<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>Brelvo</name>
    <message>
        <source>Action.about</source>
        <translation>About Brelvo Tool</translation>
    </message>
    <message>
        <source>CheckBox.clearBoot</source>
        <translation>Erase BOOT Partition</translation>
    </message>
    <message>
        <source>CheckBox.uptBoot</source>
        <translation>Update BOOT Partition.</translation>
    </message>
    <message>
        <source>Content.burnWriting</source>
        <translation>Updating...</translation>
    </message>
    <message>
        <source>Content.checkFailed</source>
        <translation>Verification Failed!</translation>
    </message>
    <message>
        <source>Content.findUpServer</source>
        <translation>Find Update Server</translation>
    </message>
    <message>
        <source>Content.modeError</source>
        <translation>Model Mismatch!</translation>
    </message>
    <message>
        <source>Content.netError</source>
        <translation>Network Error!</translation>
    </message>
    <message>
        <source>Content.openUpFileFailed</source>
        <translation>Open Failed!</translation>
    </message>
    <message>
        <source>Content.questionExit</source>
        <translation>The update process not completed. Are you sure you want to exit?</translation>
    </message>
    <message>
        <source>Content.questionExitApp</source>
        <translation>Do you want to exit the Brelvo Tool?</translation>
    </message>
    <message>
        <source>Content.questionStopUpdate</source>
        <translation>The update process not completed. Are you sure you want to stop?</translation>
    </message>
    <message>
        <source>Content.sendComplete</source>
        <translation>Send Successfully!</translation>
    </message>
    <message>
        <source>Content.sendData</source>
        <translation>Sending Data</translation>
    </message>
    <message>
        <source>Content.startFailed</source>
        <translation>Start Failed!</translation>
    </message>
    <message>
        <source>Content.stopped</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>Content.timeout</source>
        <translation>Timeout!</translation>
    </message>
    <message>
        <source>Content.undefineError</source>
        <translation>Unknown Error!</translation>
    </message>
    <message>
        <source>Content.warn1</source>
        <translation>1.If the device is missing a profile, it will fail to start!</translation>
    </message>
    <message>
        <source>Content.warn2</source>
        <translation>2.After erasing the partition, it can still start normally, but the user data will be lost.</translation>
    </message>
    <message>
        <source>Content.warn3</source>
        <translation>3.Erasing partitions is not recommended without professional!</translation>
    </message>
    <message>
        <source>Content.writeComplete</source>
        <translation>Update Complete!</translation>
    </message>
    <message>
        <source>Content.writeFailed</source>
        <translation>Update Failed!</translation>
    </message>
    <message>
        <source>Filter.allFiles</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Filter.configFiles</source>
        <translation>Configuration files (*.cfg)</translation>
    </message>
    <message>
        <source>Label.Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Label.iniFilePath</source>
        <translation>Configuration Directory</translation>
    </message>
    <message>
        <source>Label.localIp</source>
        <translation>Local IP Address</translation>
    </message>
    <message>
        <source>Label.uptFilePath</source>
        <translation>Firmware Directory</translation>
    </message>
    <message>
        <source>PushButton.aboutDlg</source>
        <translation>About..</translation>
    </message>
    <message>
        <source>PushButton.browse</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>PushButton.clearContent</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>PushButton.exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>PushButton.prepareStop</source>
        <translation>Stopping..</translation>
    </message>
    <message>
        <source>PushButton.startUpdate</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>PushButton.stopUpdate</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>PushButton.update</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>TableWt.index</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>TableWt.ipAddress</source>
        <translation>IP Address</translation>
    </message>
    <message>
        <source>TableWt.process</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>TableWt.status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Title.choseIniFilePath</source>
        <translation>Select Configuration</translation>
    </message>
    <message>
        <source>Title.choseUptFilePath</source>
        <translation>Select Firmware</translation>
    </message>
    <message>
        <source>Title.exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Title.specialTip</source>
        <translation>Tips</translation>
    </message>
    <message>
        <source>Title.stopUpdate</source>
        <translation>Stop Update</translation>
    </message>
    <message>
        <source>Title.update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>WindowTitle</source>
        <translation>Brelvo Tool</translation>
    </message>
</context>
<context>
    <name>MessageBoxDlg</name>
    <message>
        <source>PushButton.cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>PushButton.ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>TipContent.content1</source>
        <translation>1.Make sure that your device and computer are in the same LAN and the computer can access the device.</translation>
    </message>
    <message>
        <source>TipContent.content2</source>
        <translation>2.If it is a multi-network computer, please turn off other networks (If it is a laptop, please turn off the wireless network)</translation>
    </message>
    <message>
        <source>TipContent.content3</source>
        <translation>3.Turn off the computer Anti-virus software and Firewall.</translation>
    </message>
    <message>
        <source>TipContent.content4</source>
        <translation>4.Run Brelvo Tool with Administrator permission.</translation>
    </message>
    <message>
        <source>TipContent.content5</source>
        <translation>IMPORTANT</translation>
    </message>
    <message>
        <source>TipContent.content6</source>
        <translation>:Do not interrupt Power or Network during the update process.</translation>
    </message>
    <message>
        <source>Title.readBefore</source>
        <translation>Before You Start</translation>
    </message>
</context>
<context>
    <name>VersionInfo</name>
    <message>
        <source>Label.copyRight</source>
        <translation></translation>
    </message>
    <message>
        <source>Label.version</source>
        <translation>Brelvo Tool V2.0.0</translation>
    </message>
    <message>
        <source>PushButton.ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Title.aboutTool</source>
        <translation>About Brelvo Tool</translation>
    </message>
</context>
</TS>
