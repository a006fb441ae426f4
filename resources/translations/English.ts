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
        <source>Content.moreFailures</source>
        <translation>...and %1 more problems; the Log lists them all.</translation>
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
        <source>Content.servedElsewhere</source>
        <translation>Served by Another Tool</translation>
    </message>
    <message>
        <source>Content.startFailed</source>
        <translation>Start Failed!</translation>
    </message>
    <message>
        <source>Content.startRefused</source>
        <translation>The check before the start found problems that would make the update fail. Fix them, then press Start again:</translation>
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
        <source>Content.whatToDo</source>
        <translation>What to do: %1</translation>
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
        <source>Log.checkError</source>
        <translation>The check before the start could not run (%1); the update was not started</translation>
    </message>
    <message>
        <source>Log.checkPassed</source>
        <translation>Check passed; starting</translation>
    </message>
    <message>
        <source>Log.checkPassedWarnings</source>
        <translation>Check passed with warnings (see above); starting</translation>
    </message>
    <message>
        <source>Log.checking</source>
        <translation>Checking the local address, the firmware folder and the configuration file before the start...</translation>
    </message>
    <message>
        <source>Log.dropped</source>
        <translation>%1 events were lost because the window could not keep up; the log misses them (the run report still lists every device)</translation>
    </message>
    <message>
        <source>Log.remedy</source>
        <translation>%1 — what to do: %2</translation>
    </message>
    <message>
        <source>Log.runEnded</source>
        <translation>The run has ended: no longer listening for devices</translation>
    </message>
    <message>
        <source>Log.serverFailed</source>
        <translation>The server has failed and no longer hears devices; press Start to serve again</translation>
    </message>
    <message>
        <source>Log.startFailed</source>
        <translation>Start Failed: %1</translation>
    </message>
    <message>
        <source>Log.startFailedEnding</source>
        <translation>Start Failed: the previous run is still ending; wait a moment and press Start again</translation>
    </message>
    <message>
        <source>Log.startFailedPort</source>
        <translation>Start Failed: UDP port %1 cannot be bound (%2); another copy of the tool or another program may hold it</translation>
    </message>
    <message>
        <source>Log.startRefused</source>
        <translation>Start refused: the check found problems that would make the update fail (marked above)</translation>
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
        <source>PushButton.checking</source>
        <translation>Checking...</translation>
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
        <source>PushButton.log</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>PushButton.logCount</source>
        <translation>Log (%1)</translation>
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
        <source>Tip.device</source>
        <translation>Product code: %1
Hardware address: %2
Image file: %3
Checksum: %4
Options sent: %5</translation>
    </message>
    <message>
        <source>Tip.unknown</source>
        <translation>unknown</translation>
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
        <source>Title.startRefused</source>
        <translation>Cannot Start</translation>
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
    <name>CheckText</name>
    <message>
        <source>Finding.addressInvalid</source>
        <translation>&apos;%1&apos; is not an IPv4 address</translation>
    </message>
    <message>
        <source>Finding.addressLoopback</source>
        <translation>%1 is a loopback address (%2): no device can reach it</translation>
    </message>
    <message>
        <source>Finding.addressNotLocal</source>
        <translation>%1 is not an address of this computer</translation>
    </message>
    <message>
        <source>Finding.checksumMismatch</source>
        <translation>%1: image %2 sums to %3, but its version file %4: %5</translation>
    </message>
    <message>
        <source>Finding.checksumNoLine</source>
        <translation>has no checksum= line</translation>
    </message>
    <message>
        <source>Finding.checksumSays</source>
        <translation>says %1</translation>
    </message>
    <message>
        <source>Finding.checksumWithConfig</source>
        <translation>with a configuration file the job fails with &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Finding.checksumWithoutConfig</source>
        <translation>the device would report &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Finding.configMissing</source>
        <translation>Configuration file &apos;%1&apos; cannot be found: %2</translation>
    </message>
    <message>
        <source>Finding.configNone</source>
        <translation>No configuration file: images are sent alone</translation>
    </message>
    <message>
        <source>Finding.configNotRegular</source>
        <translation>Configuration file &apos;%1&apos; is not a regular file</translation>
    </message>
    <message>
        <source>Finding.configOk</source>
        <translation>Configuration file %1 (%2 bytes)</translation>
    </message>
    <message>
        <source>Finding.configTooShort</source>
        <translation>Configuration file &apos;%1&apos; has only %2 bytes, fewer than the %3 a configuration needs: it cannot be sent</translation>
    </message>
    <message>
        <source>Finding.configUnreadable</source>
        <translation>Configuration file &apos;%1&apos; cannot be read: %2</translation>
    </message>
    <message>
        <source>Finding.defaultRouteElsewhere</source>
        <translation>The default route goes through %1, not %2: this computer is on more than one network</translation>
    </message>
    <message>
        <source>Finding.defaultRouteGateway</source>
        <translation>The default route goes through %1 (gateway %2), not %3: this computer is on more than one network</translation>
    </message>
    <message>
        <source>Finding.emptyCode</source>
        <translation>&quot;&quot; (empty code)</translation>
    </message>
    <message>
        <source>Finding.eraseWithoutConfig</source>
        <translation>&quot;%1&quot; is ticked, but no configuration file is chosen: %2 %3 %4</translation>
    </message>
    <message>
        <source>Finding.firmwareChoice</source>
        <translation>%1: %2 is used, image %3 (%4 bytes, %5 blocks, checksum %6)</translation>
    </message>
    <message>
        <source>Finding.firmwareEntry</source>
        <translation>Entry %1 serves %2 (name: %3)</translation>
    </message>
    <message>
        <source>Finding.firmwareEntryNone</source>
        <translation>Entry %1 serves no product code</translation>
    </message>
    <message>
        <source>Finding.firmwareEntryProduct</source>
        <translation>Entry %1 serves %2 (name: %3, product=%4)</translation>
    </message>
    <message>
        <source>Finding.folderEmpty</source>
        <translation>Firmware folder &apos;%1&apos; has no kvx entries: no request would be answered</translation>
    </message>
    <message>
        <source>Finding.folderMissing</source>
        <translation>Firmware folder &apos;%1&apos; cannot be used: %2</translation>
    </message>
    <message>
        <source>Finding.folderNotGiven</source>
        <translation>No firmware folder is chosen</translation>
    </message>
    <message>
        <source>Finding.icmpDatagram</source>
        <translation>The address sweep can use the unprivileged ICMP socket (group %1 in ping_group_range %2)</translation>
    </message>
    <message>
        <source>Finding.icmpNone</source>
        <translation>No ICMP socket can be opened (ping_group_range %1): the address sweep cannot run, no address can be lent and every device would be refused</translation>
    </message>
    <message>
        <source>Finding.icmpService</source>
        <translation>The address sweep can use the system&apos;s ICMP echo service (no rights needed)</translation>
    </message>
    <message>
        <source>Finding.icmpRaw</source>
        <translation>The address sweep can use a raw ICMP socket (%1)</translation>
    </message>
    <message>
        <source>Finding.imageMissing</source>
        <translation>%1: image %2 cannot be read (%3): the device would show &quot;%4&quot;</translation>
    </message>
    <message>
        <source>Finding.imageTooLarge</source>
        <translation>%1: image %2 (%3 bytes) is over %4 bytes, the most a device can be sent: the device would show &quot;%5&quot;</translation>
    </message>
    <message>
        <source>Finding.interfaceDown</source>
        <translation>Network card %1 of %2 is switched off</translation>
    </message>
    <message>
        <source>Finding.interfaceNoCarrier</source>
        <translation>Network card %1 of %2 has no link (%3)</translation>
    </message>
    <message>
        <source>Finding.interfaceOk</source>
        <translation>%1 is on network card %2 (%3, /%4)</translation>
    </message>
    <message>
        <source>Finding.modelMismatch</source>
        <translation>%1: version file %2 names another product: the device would show &quot;%3&quot;</translation>
    </message>
    <message>
        <source>Finding.none</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Finding.portFree</source>
        <translation>UDP port %1 is free</translation>
    </message>
    <message>
        <source>Finding.portInUse</source>
        <translation>UDP port %1 is held by %2</translation>
    </message>
    <message>
        <source>Finding.portInUseSelf</source>
        <translation>UDP port %1 is held by this program itself (an earlier run still ending?)</translation>
    </message>
    <message>
        <source>Finding.portInUseUnknown</source>
        <translation>UDP port %1 is held by an unknown process</translation>
    </message>
    <message>
        <source>Finding.portInUseUser</source>
        <translation>UDP port %1 is held by an unknown process (a socket of user %2)</translation>
    </message>
    <message>
        <source>Finding.portProbeFailed</source>
        <translation>UDP port %1 cannot be bound: %2</translation>
    </message>
    <message>
        <source>Finding.prefixNarrow</source>
        <translation>The network of %1 on %2 is a /%3, but addresses are lent from all of %4</translation>
    </message>
    <message>
        <source>Finding.subnetShared</source>
        <translation>Network card %1 also has an address in %2 (%3): replies to devices may leave by the wrong card</translation>
    </message>
    <message>
        <source>Finding.tooLarge</source>
        <translation>%1: image %2 (%3 bytes) and the configuration (%4 bytes) exceed %5 bytes: the device would show &quot;%6&quot;</translation>
    </message>
    <message>
        <source>Finding.versionMissing</source>
        <translation>%1: version file %2 cannot be read: the device would show &quot;%3&quot;</translation>
    </message>
    <message>
        <source>Remedy.address</source>
        <translation>choose one of: %1</translation>
    </message>
    <message>
        <source>Remedy.addressLoopback</source>
        <translation>choose the address of the network card on the devices&apos; network</translation>
    </message>
    <message>
        <source>Remedy.addressNoneLocal</source>
        <translation>give an address of this computer (&apos;ip -4 addr&apos; lists them)</translation>
    </message>
    <message>
        <source>Remedy.checksumMismatch</source>
        <translation>replace the image with an undamaged copy, or correct the version file&apos;s line to checksum=%1</translation>
    </message>
    <message>
        <source>Remedy.configTooShort</source>
        <translation>choose the full configuration file (at least %1 bytes), or clear the field</translation>
    </message>
    <message>
        <source>Remedy.configUnusable</source>
        <translation>choose a readable configuration file, or clear the field</translation>
    </message>
    <message>
        <source>Remedy.defaultRouteElsewhere</source>
        <translation>if devices do not answer, disconnect %1 (e.g. the wireless network) while updating</translation>
    </message>
    <message>
        <source>Remedy.eraseWithoutConfig</source>
        <translation>choose the devices&apos; configuration file, or untick &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Remedy.folderEmpty</source>
        <translation>copy the firmware (kvx...bin and kvx...-ver.bin) into the folder, or choose another</translation>
    </message>
    <message>
        <source>Remedy.folderMissing</source>
        <translation>choose the folder that holds the kvx firmware files</translation>
    </message>
    <message>
        <source>Remedy.icmpNone</source>
        <translation>give the program the right to ping: sudo setcap cap_net_raw+ep &quot;$(command -v %1)&quot;; or allow ping for your group: sudo sysctl -w net.ipv4.ping_group_range=&quot;0 2147483647&quot;; or run it as root</translation>
    </message>
    <message>
        <source>Remedy.imageMissing</source>
        <translation>put the image %1 beside its version file, or remove %2</translation>
    </message>
    <message>
        <source>Remedy.imageTooLarge</source>
        <translation>replace %1 with an image of at most %2 bytes</translation>
    </message>
    <message>
        <source>Remedy.interfaceDown</source>
        <translation>switch it on: sudo ip link set %1 up</translation>
    </message>
    <message>
        <source>Remedy.interfaceNoCarrier</source>
        <translation>plug the cable of %1 into the devices&apos; switch and check that the switch is on</translation>
    </message>
    <message>
        <source>Remedy.modelMismatch</source>
        <translation>check that %1 belongs to the image and names product %2</translation>
    </message>
    <message>
        <source>Remedy.portInUse</source>
        <translation>end the other program (kill %1) or stop its serving, then press Start again</translation>
    </message>
    <message>
        <source>Remedy.portInUseSelf</source>
        <translation>wait a second for the earlier run to end, then press Start again</translation>
    </message>
    <message>
        <source>Remedy.portInUseUnknown</source>
        <translation>find the holder with &apos;sudo ss -ulpn sport = :%1&apos; and end it</translation>
    </message>
    <message>
        <source>Remedy.portProbeFailed</source>
        <translation>check that this user may bind UDP port %1 (firewall or security policy)</translation>
    </message>
    <message>
        <source>Remedy.prefixNarrow</source>
        <translation>give %1 a /24 address, or serve on a network that is a /24</translation>
    </message>
    <message>
        <source>Remedy.subnetShared</source>
        <translation>disconnect %1 or take its address off (sudo ip addr del %2 dev %1)</translation>
    </message>
    <message>
        <source>Remedy.tooLarge</source>
        <translation>use a smaller configuration file, or serve this image without one</translation>
    </message>
    <message>
        <source>Remedy.versionMissing</source>
        <translation>put the version file %1 beside the image</translation>
    </message>
</context>
<context>
    <name>EventText</name>
    <message>
        <source>Log.anotherTool</source>
        <translation>Another tool at %1 answers devices on this network (it offered %2 to a device on port %3); the addresses it offers are not lent here</translation>
    </message>
    <message>
        <source>Log.askedAgain</source>
        <translation>%1 asked again: previous result %2 (job %3)</translation>
    </message>
    <message>
        <source>Log.blocks</source>
        <translation>sending %1 blocks</translation>
    </message>
    <message>
        <source>Log.end</source>
        <translation>End sent: checksum %1, options %2</translation>
    </message>
    <message>
        <source>Log.job</source>
        <translation>job %1</translation>
    </message>
    <message>
        <source>Log.listenFailed</source>
        <translation>Cannot listen on UDP port %1: %2</translation>
    </message>
    <message>
        <source>Log.listenFailedInUse</source>
        <translation>Cannot listen on UDP port %1 (%2): another copy of the tool or another program holds it</translation>
    </message>
    <message>
        <source>Log.listening</source>
        <translation>Listening on UDP port %1</translation>
    </message>
    <message>
        <source>Log.listeningOn</source>
        <translation>Listening on UDP port %1 of %2</translation>
    </message>
    <message>
        <source>Log.macLearnt</source>
        <translation>hardware address learnt</translation>
    </message>
    <message>
        <source>Log.macUnknown</source>
        <translation>hardware address unknown</translation>
    </message>
    <message>
        <source>Log.malformed</source>
        <translation>%1: malformed request of %2 bytes ignored</translation>
    </message>
    <message>
        <source>Log.matched</source>
        <translation>%1 asked for %2: sending %3</translation>
    </message>
    <message>
        <source>Log.noFirmware</source>
        <translation>%1 asked for %2: no firmware for it in %3</translation>
    </message>
    <message>
        <source>Log.offer</source>
        <translation>offer sent, lent address %1, job port %2</translation>
    </message>
    <message>
        <source>Log.offerNoAddress</source>
        <translation>offer sent without an address (none free), job port %1</translation>
    </message>
    <message>
        <source>Log.reportFailed</source>
        <translation>Run report: cannot write %1: %2; the update goes on</translation>
    </message>
    <message>
        <source>Log.request</source>
        <translation>%1 asked for %2</translation>
    </message>
    <message>
        <source>Log.resent</source>
        <translation>pass %1: %2 blocks sent again</translation>
    </message>
    <message>
        <source>Log.resentOne</source>
        <translation>pass %1: 1 block sent again</translation>
    </message>
    <message>
        <source>Log.size</source>
        <translation>image size sent: %1 bytes</translation>
    </message>
    <message>
        <source>Log.stop</source>
        <translation>Stop: %1 unfinished jobs asked to end</translation>
    </message>
    <message>
        <source>Log.stopNone</source>
        <translation>Stop: no device was being updated</translation>
    </message>
    <message>
        <source>Log.stopOne</source>
        <translation>Stop: 1 unfinished job asked to end</translation>
    </message>
    <message>
        <source>Log.sweepFailed</source>
        <translation>Address sweep could not run (ICMP: %1): no address can be lent</translation>
    </message>
    <message>
        <source>Log.sweepFound</source>
        <translation>Address sweep found %1 free addresses (ICMP: %2)</translation>
    </message>
    <message>
        <source>Log.sweepFoundNone</source>
        <translation>Address sweep found no free address (ICMP: %1): no address can be lent</translation>
    </message>
    <message>
        <source>Log.sweepFoundOne</source>
        <translation>Address sweep found 1 free address (ICMP: %1)</translation>
    </message>
    <message>
        <source>Log.sweepNoIcmp</source>
        <translation>Address sweep could not ping (no ICMP socket): no address can be lent; run as root, give the program cap_net_raw or allow unprivileged ping (net.ipv4.ping_group_range)</translation>
    </message>
    <message>
        <source>Log.tableFull</source>
        <translation>%1 asked for %2: the device table is full; press %3 to remove finished devices</translation>
    </message>
    <message>
        <source>Log.timedOut</source>
        <translation>timed out at &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Log.consoleThreadFailed</source>
        <translation>The console thread failed: debug lines are no longer shown</translation>
    </message>
    <message>
        <source>Log.listenerThreadFailed</source>
        <translation>The listener thread failed: no more requests are heard on UDP port 3281</translation>
    </message>
    <message>
        <source>Log.reportThreadFailed</source>
        <translation>The report thread failed: rows are written when the run ends</translation>
    </message>
    <message>
        <source>Log.resolverThreadFailed</source>
        <translation>The thread that learns the devices&apos; hardware addresses failed: they are no longer learnt</translation>
    </message>
    <message>
        <source>Log.transferThreadFailed</source>
        <translation>The transfer thread failed: the devices it served ended as failed</translation>
    </message>
    <message>
        <source>Log.unknown</source>
        <translation>Unknown event %1</translation>
    </message>
    <message>
        <source>Log.writing</source>
        <translation>device writing, %1%</translation>
    </message>
</context>
<context>
    <name>LogWindow</name>
    <message>
        <source>Content.noReportsFolder</source>
        <translation>There is no reports folder: neither XDG_DATA_HOME nor HOME is set.</translation>
    </message>
    <message>
        <source>Content.openFolderFailed</source>
        <translation>The folder %1 could not be opened; open it in your file manager.</translation>
    </message>
    <message>
        <source>Content.saveFailed</source>
        <translation>The log could not be saved to %1: %2</translation>
    </message>
    <message>
        <source>Filter.textFiles</source>
        <translation>Text files (*.txt)</translation>
    </message>
    <message>
        <source>Log.failureMark</source>
        <translation>[Failure]</translation>
    </message>
    <message>
        <source>Log.warningMark</source>
        <translation>[Warning]</translation>
    </message>
    <message>
        <source>PushButton.openReports</source>
        <translation>Open reports folder</translation>
    </message>
    <message>
        <source>PushButton.saveAs</source>
        <translation>Save as...</translation>
    </message>
    <message>
        <source>Title.log</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>Title.saveLog</source>
        <translation>Save the Log</translation>
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
