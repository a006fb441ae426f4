<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>Brelvo</name>
    <message>
        <source>Action.about</source>
        <translation>关于 Brelvo Tool</translation>
    </message>
    <message>
        <source>CheckBox.clearBoot</source>
        <translation>擦除配置分区</translation>
    </message>
    <message>
        <source>CheckBox.uptBoot</source>
        <translation>升级BOOT分区</translation>
    </message>
    <message>
        <source>Content.burnWriting</source>
        <translation>正在烧写</translation>
    </message>
    <message>
        <source>Content.checkFailed</source>
        <translation>校验失败</translation>
    </message>
    <message>
        <source>Content.findUpServer</source>
        <translation>查找升级服务器</translation>
    </message>
    <message>
        <source>Content.modeError</source>
        <translation>型号不匹配</translation>
    </message>
    <message>
        <source>Content.moreFailures</source>
        <translation>……另有 %1 个问题，完整列表见“日志”。</translation>
    </message>
    <message>
        <source>Content.netError</source>
        <translation>网络错误</translation>
    </message>
    <message>
        <source>Content.openUpFileFailed</source>
        <translation>打开升级文件失败</translation>
    </message>
    <message>
        <source>Content.questionExit</source>
        <translation>升级服务还未停止，是否确认退出？</translation>
    </message>
    <message>
        <source>Content.questionExitApp</source>
        <translation>确认退出Brelvo Tool？</translation>
    </message>
    <message>
        <source>Content.questionStopUpdate</source>
        <translation>设备升级尚未完成，确认停止升级吗？</translation>
    </message>
    <message>
        <source>Content.sendComplete</source>
        <translation>发送完成</translation>
    </message>
    <message>
        <source>Content.sendData</source>
        <translation>发送数据</translation>
    </message>
    <message>
        <source>Content.servedElsewhere</source>
        <translation>由其他工具升级</translation>
    </message>
    <message>
        <source>Content.startFailed</source>
        <translation>启动失败！</translation>
    </message>
    <message>
        <source>Content.startRefused</source>
        <translation>开始前的检查发现了会导致升级失败的问题，请先解决以下问题，再点击“开始升级”：</translation>
    </message>
    <message>
        <source>Content.stopped</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source>Content.timeout</source>
        <translation>超时</translation>
    </message>
    <message>
        <source>Content.undefineError</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>Content.warn1</source>
        <translation>1、球机产品擦除配置分区的同时必须要写入出厂配置文件，否则系统可能无法启动!</translation>
    </message>
    <message>
        <source>Content.warn2</source>
        <translation>2、网络摄像机擦除配置分区后系统仍可正常启动，但设备的云服务编号等数据将不复存在！</translation>
    </message>
    <message>
        <source>Content.warn3</source>
        <translation>3、非专业人员不建议擦除配置分区！</translation>
    </message>
    <message>
        <source>Content.whatToDo</source>
        <translation>处理方法：%1</translation>
    </message>
    <message>
        <source>Content.writeComplete</source>
        <translation>烧写完成</translation>
    </message>
    <message>
        <source>Content.writeFailed</source>
        <translation>烧写失败</translation>
    </message>
    <message>
        <source>Filter.allFiles</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>Filter.configFiles</source>
        <translation>配置文件 (*.cfg)</translation>
    </message>
    <message>
        <source>Label.Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Label.iniFilePath</source>
        <translation>配置文件目录：</translation>
    </message>
    <message>
        <source>Label.localIp</source>
        <translation>本机地址：</translation>
    </message>
    <message>
        <source>Label.uptFilePath</source>
        <translation>升级文件目录：</translation>
    </message>
    <message>
        <source>Log.checkError</source>
        <translation>开始前的检查无法运行（%1），未开始升级</translation>
    </message>
    <message>
        <source>Log.checkPassed</source>
        <translation>检查通过，开始升级</translation>
    </message>
    <message>
        <source>Log.checkPassedWarnings</source>
        <translation>检查通过，但有警告（见上文），开始升级</translation>
    </message>
    <message>
        <source>Log.checking</source>
        <translation>开始前正在检查本机地址、升级文件目录和配置文件……</translation>
    </message>
    <message>
        <source>Log.dropped</source>
        <translation>由于窗口来不及处理，丢失了 %1 条事件，日志中缺少这些记录（运行报告中仍有每台设备的结果）</translation>
    </message>
    <message>
        <source>Log.remedy</source>
        <translation>%1——处理方法：%2</translation>
    </message>
    <message>
        <source>Log.runEnded</source>
        <translation>本次运行已结束，不再接收设备的升级请求</translation>
    </message>
    <message>
        <source>Log.serverFailed</source>
        <translation>服务出错，已无法接收设备的升级请求；请点击“开始升级”重新启动</translation>
    </message>
    <message>
        <source>Log.startFailed</source>
        <translation>启动失败：%1</translation>
    </message>
    <message>
        <source>Log.startFailedEnding</source>
        <translation>启动失败：上一次运行仍在结束中，请稍候再点击“开始升级”</translation>
    </message>
    <message>
        <source>Log.startFailedPort</source>
        <translation>启动失败：无法绑定 UDP 端口 %1（%2），可能已被本工具的另一个副本或其他程序占用</translation>
    </message>
    <message>
        <source>Log.startRefused</source>
        <translation>已拒绝开始：检查发现了会导致升级失败的问题（见上文标记）</translation>
    </message>
    <message>
        <source>PushButton.aboutDlg</source>
        <translation>关于..</translation>
    </message>
    <message>
        <source>PushButton.browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>PushButton.checking</source>
        <translation>正在检查...</translation>
    </message>
    <message>
        <source>PushButton.clearContent</source>
        <translation>清除列表</translation>
    </message>
    <message>
        <source>PushButton.exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>PushButton.log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>PushButton.logCount</source>
        <translation>日志 (%1)</translation>
    </message>
    <message>
        <source>PushButton.prepareStop</source>
        <translation>正在停止</translation>
    </message>
    <message>
        <source>PushButton.startUpdate</source>
        <translation>开始升级</translation>
    </message>
    <message>
        <source>PushButton.stopUpdate</source>
        <translation>停止升级</translation>
    </message>
    <message>
        <source>PushButton.update</source>
        <translation>开始升级</translation>
    </message>
    <message>
        <source>TableWt.index</source>
        <translation>编号</translation>
    </message>
    <message>
        <source>TableWt.ipAddress</source>
        <translation>IP地址</translation>
    </message>
    <message>
        <source>TableWt.process</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>TableWt.status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Tip.device</source>
        <translation>产品型号：%1
MAC 地址：%2
镜像文件：%3
校验和：%4
写入选项：%5</translation>
    </message>
    <message>
        <source>Tip.unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>Title.choseIniFilePath</source>
        <translation>选择文件</translation>
    </message>
    <message>
        <source>Title.choseUptFilePath</source>
        <translation>选择升级文件</translation>
    </message>
    <message>
        <source>Title.exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Title.specialTip</source>
        <translation>特别提示</translation>
    </message>
    <message>
        <source>Title.startRefused</source>
        <translation>无法开始升级</translation>
    </message>
    <message>
        <source>Title.stopUpdate</source>
        <translation>停止升级</translation>
    </message>
    <message>
        <source>Title.update</source>
        <translation>升级</translation>
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
        <translation>“%1”不是 IPv4 地址</translation>
    </message>
    <message>
        <source>Finding.addressLoopback</source>
        <translation>%1 是回环地址（%2），设备无法访问</translation>
    </message>
    <message>
        <source>Finding.addressNotLocal</source>
        <translation>%1 不是本机的地址</translation>
    </message>
    <message>
        <source>Finding.checksumMismatch</source>
        <translation>%1：镜像 %2 的校验和为 %3，但其版本文件%4：%5</translation>
    </message>
    <message>
        <source>Finding.checksumNoLine</source>
        <translation>中没有 checksum= 行</translation>
    </message>
    <message>
        <source>Finding.checksumSays</source>
        <translation>中写的是 %1</translation>
    </message>
    <message>
        <source>Finding.checksumWithConfig</source>
        <translation>带配置文件时任务将以“%1”失败</translation>
    </message>
    <message>
        <source>Finding.checksumWithoutConfig</source>
        <translation>设备将报告“%1”</translation>
    </message>
    <message>
        <source>Finding.configMissing</source>
        <translation>找不到配置文件“%1”：%2</translation>
    </message>
    <message>
        <source>Finding.configNone</source>
        <translation>未选择配置文件：只发送升级镜像</translation>
    </message>
    <message>
        <source>Finding.configNotRegular</source>
        <translation>配置文件“%1”不是普通文件</translation>
    </message>
    <message>
        <source>Finding.configOk</source>
        <translation>配置文件 %1（%2 字节）</translation>
    </message>
    <message>
        <source>Finding.configTooShort</source>
        <translation>配置文件“%1”只有 %2 字节，少于配置文件所需的 %3 字节，无法发送</translation>
    </message>
    <message>
        <source>Finding.configUnreadable</source>
        <translation>无法读取配置文件“%1”：%2</translation>
    </message>
    <message>
        <source>Finding.defaultRouteElsewhere</source>
        <translation>默认路由经过 %1 而不是 %2：本机同时连接了多个网络</translation>
    </message>
    <message>
        <source>Finding.defaultRouteGateway</source>
        <translation>默认路由经过 %1（网关 %2）而不是 %3：本机同时连接了多个网络</translation>
    </message>
    <message>
        <source>Finding.emptyCode</source>
        <translation>“”（空型号）</translation>
    </message>
    <message>
        <source>Finding.eraseWithoutConfig</source>
        <translation>已勾选“%1”，但未选择配置文件：%2 %3 %4</translation>
    </message>
    <message>
        <source>Finding.firmwareChoice</source>
        <translation>%1：使用 %2，镜像 %3（%4 字节，%5 个数据块，校验和 %6）</translation>
    </message>
    <message>
        <source>Finding.firmwareEntry</source>
        <translation>文件 %1 对应型号 %2（文件名中的型号：%3）</translation>
    </message>
    <message>
        <source>Finding.firmwareEntryNone</source>
        <translation>文件 %1 不对应任何型号</translation>
    </message>
    <message>
        <source>Finding.firmwareEntryProduct</source>
        <translation>文件 %1 对应型号 %2（文件名中的型号：%3，product=%4）</translation>
    </message>
    <message>
        <source>Finding.folderEmpty</source>
        <translation>升级文件目录“%1”中没有以 kvx 开头的文件，任何升级请求都不会得到应答</translation>
    </message>
    <message>
        <source>Finding.folderMissing</source>
        <translation>无法使用升级文件目录“%1”：%2</translation>
    </message>
    <message>
        <source>Finding.folderNotGiven</source>
        <translation>未选择升级文件目录</translation>
    </message>
    <message>
        <source>Finding.icmpDatagram</source>
        <translation>地址扫描可以使用非特权 ICMP 套接字（用户组 %1 在 ping_group_range %2 范围内）</translation>
    </message>
    <message>
        <source>Finding.icmpNone</source>
        <translation>无法打开任何 ICMP 套接字（ping_group_range %1）：地址扫描无法进行，无法为设备分配地址，所有设备都将无法升级</translation>
    </message>
    <message>
        <source>Finding.icmpService</source>
        <translation>地址扫描可以使用系统自带的 ICMP 回显服务（无需任何权限）</translation>
    </message>
    <message>
        <source>Finding.icmpRaw</source>
        <translation>地址扫描可以使用原始 ICMP 套接字（%1）</translation>
    </message>
    <message>
        <source>Finding.imageMissing</source>
        <translation>%1：无法读取镜像 %2（%3），设备将显示“%4”</translation>
    </message>
    <message>
        <source>Finding.imageTooLarge</source>
        <translation>%1：镜像 %2（%3 字节）超过设备可接收的上限 %4 字节，设备将显示“%5”</translation>
    </message>
    <message>
        <source>Finding.interfaceDown</source>
        <translation>%2 所在的网卡 %1 已被禁用</translation>
    </message>
    <message>
        <source>Finding.interfaceNoCarrier</source>
        <translation>%2 所在的网卡 %1 未连接网线（%3）</translation>
    </message>
    <message>
        <source>Finding.interfaceOk</source>
        <translation>%1 位于网卡 %2（%3，/%4）</translation>
    </message>
    <message>
        <source>Finding.modelMismatch</source>
        <translation>%1：版本文件 %2 中写的是其他型号，设备将显示“%3”</translation>
    </message>
    <message>
        <source>Finding.none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Finding.portFree</source>
        <translation>UDP 端口 %1 空闲</translation>
    </message>
    <message>
        <source>Finding.portInUse</source>
        <translation>UDP 端口 %1 已被 %2 占用</translation>
    </message>
    <message>
        <source>Finding.portInUseSelf</source>
        <translation>UDP 端口 %1 被本程序自身占用（上一次运行可能仍在结束中）</translation>
    </message>
    <message>
        <source>Finding.portInUseUnknown</source>
        <translation>UDP 端口 %1 被未知进程占用</translation>
    </message>
    <message>
        <source>Finding.portInUseUser</source>
        <translation>UDP 端口 %1 被未知进程占用（属于用户 %2 的套接字）</translation>
    </message>
    <message>
        <source>Finding.portProbeFailed</source>
        <translation>无法绑定 UDP 端口 %1：%2</translation>
    </message>
    <message>
        <source>Finding.prefixNarrow</source>
        <translation>%1 在网卡 %2 上的网络是 /%3，但分配地址时会使用整个 %4</translation>
    </message>
    <message>
        <source>Finding.subnetShared</source>
        <translation>网卡 %1 在 %2 中也有地址（%3），发给设备的数据可能从错误的网卡发出</translation>
    </message>
    <message>
        <source>Finding.tooLarge</source>
        <translation>%1：镜像 %2（%3 字节）加上配置文件（%4 字节）超过 %5 字节，设备将显示“%6”</translation>
    </message>
    <message>
        <source>Finding.versionMissing</source>
        <translation>%1：无法读取版本文件 %2，设备将显示“%3”</translation>
    </message>
    <message>
        <source>Remedy.address</source>
        <translation>请从以下地址中选择：%1</translation>
    </message>
    <message>
        <source>Remedy.addressLoopback</source>
        <translation>请选择连接设备所在网络的网卡地址</translation>
    </message>
    <message>
        <source>Remedy.addressNoneLocal</source>
        <translation>请填写本机的地址（可用“ip -4 addr”查看）</translation>
    </message>
    <message>
        <source>Remedy.checksumMismatch</source>
        <translation>请换用完好的镜像，或将版本文件中的该行改为 checksum=%1</translation>
    </message>
    <message>
        <source>Remedy.configTooShort</source>
        <translation>请选择完整的配置文件（至少 %1 字节），或清空该栏</translation>
    </message>
    <message>
        <source>Remedy.configUnusable</source>
        <translation>请选择可读的配置文件，或清空该栏</translation>
    </message>
    <message>
        <source>Remedy.defaultRouteElsewhere</source>
        <translation>如果设备没有响应，请在升级期间断开 %1（例如无线网络）</translation>
    </message>
    <message>
        <source>Remedy.eraseWithoutConfig</source>
        <translation>请选择设备的配置文件，或取消勾选“%1”</translation>
    </message>
    <message>
        <source>Remedy.folderEmpty</source>
        <translation>请将升级文件（kvx...bin 和 kvx...-ver.bin）复制到该目录，或选择其他目录</translation>
    </message>
    <message>
        <source>Remedy.folderMissing</source>
        <translation>请选择存放 kvx 升级文件的目录</translation>
    </message>
    <message>
        <source>Remedy.icmpNone</source>
        <translation>请授予程序 ping 的权限：sudo setcap cap_net_raw+ep &quot;$(command -v %1)&quot;；或允许你的用户组使用 ping：sudo sysctl -w net.ipv4.ping_group_range=&quot;0 2147483647&quot;；或以 root 身份运行</translation>
    </message>
    <message>
        <source>Remedy.imageMissing</source>
        <translation>请将镜像 %1 放在其版本文件旁边，或删除 %2</translation>
    </message>
    <message>
        <source>Remedy.imageTooLarge</source>
        <translation>请将 %1 换成不超过 %2 字节的镜像</translation>
    </message>
    <message>
        <source>Remedy.interfaceDown</source>
        <translation>请启用该网卡：sudo ip link set %1 up</translation>
    </message>
    <message>
        <source>Remedy.interfaceNoCarrier</source>
        <translation>请将 %1 的网线接到设备所在的交换机，并确认交换机已通电</translation>
    </message>
    <message>
        <source>Remedy.modelMismatch</source>
        <translation>请确认 %1 属于该镜像，并且其中的型号为 %2</translation>
    </message>
    <message>
        <source>Remedy.portInUse</source>
        <translation>请结束另一个程序（kill %1）或停止其服务，然后再点击“开始升级”</translation>
    </message>
    <message>
        <source>Remedy.portInUseSelf</source>
        <translation>请等待一秒钟，待上一次运行结束后再点击“开始升级”</translation>
    </message>
    <message>
        <source>Remedy.portInUseUnknown</source>
        <translation>请用“sudo ss -ulpn sport = :%1”找出占用者并结束它</translation>
    </message>
    <message>
        <source>Remedy.portProbeFailed</source>
        <translation>请检查当前用户是否有权绑定 UDP 端口 %1（防火墙或安全策略）</translation>
    </message>
    <message>
        <source>Remedy.prefixNarrow</source>
        <translation>请为 %1 配置 /24 的地址，或改在 /24 网络中升级</translation>
    </message>
    <message>
        <source>Remedy.subnetShared</source>
        <translation>请断开 %1，或删除它的地址（sudo ip addr del %2 dev %1）</translation>
    </message>
    <message>
        <source>Remedy.tooLarge</source>
        <translation>请使用更小的配置文件，或不带配置文件升级此镜像</translation>
    </message>
    <message>
        <source>Remedy.versionMissing</source>
        <translation>请将版本文件 %1 放在镜像旁边</translation>
    </message>
</context>
<context>
    <name>EventText</name>
    <message>
        <source>Log.anotherTool</source>
        <translation>网络中另有一个升级工具（%1）也在应答设备（它把 %2 分配给了端口 %3 上的设备）；它分配的地址本机不再分配</translation>
    </message>
    <message>
        <source>Log.askedAgain</source>
        <translation>%1 再次请求升级，上次结果：%2（任务 %3）</translation>
    </message>
    <message>
        <source>Log.blocks</source>
        <translation>开始发送 %1 个数据块</translation>
    </message>
    <message>
        <source>Log.end</source>
        <translation>已发送结束报文：校验和 %1，选项 %2</translation>
    </message>
    <message>
        <source>Log.job</source>
        <translation>任务 %1</translation>
    </message>
    <message>
        <source>Log.listenFailed</source>
        <translation>无法监听 UDP 端口 %1：%2</translation>
    </message>
    <message>
        <source>Log.listenFailedInUse</source>
        <translation>无法监听 UDP 端口 %1（%2）：该端口已被本工具的另一个副本或其他程序占用</translation>
    </message>
    <message>
        <source>Log.listening</source>
        <translation>正在监听 UDP 端口 %1</translation>
    </message>
    <message>
        <source>Log.listeningOn</source>
        <translation>正在 %2 上监听 UDP 端口 %1</translation>
    </message>
    <message>
        <source>Log.macLearnt</source>
        <translation>已获取 MAC 地址</translation>
    </message>
    <message>
        <source>Log.macUnknown</source>
        <translation>无法获取 MAC 地址</translation>
    </message>
    <message>
        <source>Log.malformed</source>
        <translation>%1：已忽略格式错误的请求（%2 字节）</translation>
    </message>
    <message>
        <source>Log.matched</source>
        <translation>%1 请求升级型号 %2：发送 %3</translation>
    </message>
    <message>
        <source>Log.noFirmware</source>
        <translation>%1 请求升级型号 %2：%3 中没有该型号的升级文件</translation>
    </message>
    <message>
        <source>Log.offer</source>
        <translation>已发送应答，分配地址 %1，任务端口 %2</translation>
    </message>
    <message>
        <source>Log.offerNoAddress</source>
        <translation>已发送应答，但没有可分配的空闲地址，任务端口 %1</translation>
    </message>
    <message>
        <source>Log.reportFailed</source>
        <translation>运行报告：无法写入 %1：%2；升级继续进行</translation>
    </message>
    <message>
        <source>Log.request</source>
        <translation>%1 请求升级型号 %2</translation>
    </message>
    <message>
        <source>Log.resent</source>
        <translation>第 %1 轮：重发 %2 个数据块</translation>
    </message>
    <message>
        <source>Log.resentOne</source>
        <translation>第 %1 轮：重发 1 个数据块</translation>
    </message>
    <message>
        <source>Log.size</source>
        <translation>已发送镜像大小：%1 字节</translation>
    </message>
    <message>
        <source>Log.stop</source>
        <translation>停止：已通知 %1 个未完成的任务结束</translation>
    </message>
    <message>
        <source>Log.stopNone</source>
        <translation>停止：没有正在升级的设备</translation>
    </message>
    <message>
        <source>Log.stopOne</source>
        <translation>停止：已通知 1 个未完成的任务结束</translation>
    </message>
    <message>
        <source>Log.sweepFailed</source>
        <translation>地址扫描无法进行（ICMP：%1），无法分配地址</translation>
    </message>
    <message>
        <source>Log.sweepFound</source>
        <translation>地址扫描找到 %1 个空闲地址（ICMP：%2）</translation>
    </message>
    <message>
        <source>Log.sweepFoundNone</source>
        <translation>地址扫描没有找到空闲地址（ICMP：%1），无法分配地址</translation>
    </message>
    <message>
        <source>Log.sweepFoundOne</source>
        <translation>地址扫描找到 1 个空闲地址（ICMP：%1）</translation>
    </message>
    <message>
        <source>Log.sweepNoIcmp</source>
        <translation>地址扫描无法 ping（没有可用的 ICMP 套接字），无法分配地址；请以 root 身份运行、授予程序 cap_net_raw 权限，或允许非特权 ping（net.ipv4.ping_group_range）</translation>
    </message>
    <message>
        <source>Log.tableFull</source>
        <translation>%1 请求升级型号 %2：设备列表已满，请点击“%3”移除已完成的设备</translation>
    </message>
    <message>
        <source>Log.timedOut</source>
        <translation>在“%1”阶段超时</translation>
    </message>
    <message>
        <source>Log.consoleThreadFailed</source>
        <translation>控制台输出线程出错：调试信息不再显示</translation>
    </message>
    <message>
        <source>Log.listenerThreadFailed</source>
        <translation>监听线程出错：UDP 端口 3281 不再接收升级请求</translation>
    </message>
    <message>
        <source>Log.reportThreadFailed</source>
        <translation>报告写入线程出错：各行将在本次运行结束时写入</translation>
    </message>
    <message>
        <source>Log.resolverThreadFailed</source>
        <translation>获取设备 MAC 地址的线程出错：此后不再获取 MAC 地址</translation>
    </message>
    <message>
        <source>Log.transferThreadFailed</source>
        <translation>传输线程出错：其负责的设备均已按失败结束</translation>
    </message>
    <message>
        <source>Log.unknown</source>
        <translation>未知事件 %1</translation>
    </message>
    <message>
        <source>Log.writing</source>
        <translation>设备正在烧写，%1%</translation>
    </message>
</context>
<context>
    <name>LogWindow</name>
    <message>
        <source>Content.noReportsFolder</source>
        <translation>没有报告目录：未设置 XDG_DATA_HOME 和 HOME。</translation>
    </message>
    <message>
        <source>Content.openFolderFailed</source>
        <translation>无法打开目录 %1，请在文件管理器中打开。</translation>
    </message>
    <message>
        <source>Content.saveFailed</source>
        <translation>无法将日志保存到 %1：%2</translation>
    </message>
    <message>
        <source>Filter.textFiles</source>
        <translation>文本文件 (*.txt)</translation>
    </message>
    <message>
        <source>Log.failureMark</source>
        <translation>[错误]</translation>
    </message>
    <message>
        <source>Log.warningMark</source>
        <translation>[警告]</translation>
    </message>
    <message>
        <source>PushButton.openReports</source>
        <translation>打开报告目录</translation>
    </message>
    <message>
        <source>PushButton.saveAs</source>
        <translation>另存为...</translation>
    </message>
    <message>
        <source>Title.log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Title.saveLog</source>
        <translation>保存日志</translation>
    </message>
</context>
<context>
    <name>MessageBoxDlg</name>
    <message>
        <source>PushButton.cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>PushButton.ok</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>TipContent.content1</source>
        <translation>1.确保你的设备和电脑在一个局域网内，电脑可以连接到设备</translation>
    </message>
    <message>
        <source>TipContent.content2</source>
        <translation>2.如果是多网络电脑，请关闭其他网络（如果是笔记本电脑，请关闭无线网络）</translation>
    </message>
    <message>
        <source>TipContent.content3</source>
        <translation>3.关闭电脑的防病毒软件和防火墙</translation>
    </message>
    <message>
        <source>TipContent.content4</source>
        <translation>4.运行具有管理员权限的Brelvo工具</translation>
    </message>
    <message>
        <source>TipContent.content5</source>
        <translation>重要提示</translation>
    </message>
    <message>
        <source>TipContent.content6</source>
        <translation>:在更新过程中请勿中断电源或网络</translation>
    </message>
    <message>
        <source>Title.readBefore</source>
        <translation>运行程序前确认</translation>
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
        <translation>确定</translation>
    </message>
    <message>
        <source>Title.aboutTool</source>
        <translation>关于 Brelvo Tool</translation>
    </message>
</context>
</TS>
