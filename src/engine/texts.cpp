#include "engine/texts.h"

#include <QLocale>

#include "platform/wave.h"

#include <array>
#include <iterator>

bool IsChinese = false;

namespace txt {
QString SaveVariant, Name, Note, Sec, Second, Times, Ok, Cancel, Close, Help;
QString Colon, BreakMark, RunMark, NoteOpen, NoteClose;
QString Null, NoOperate, NameEmpty, Interruptible, UnInterruptible;
QString CatDataDefine, tnVariant, InitialValue, InitValue, CurrentValue, NewVariant, NoVariant,
    VariantNameUsed, tnCategory, tnDataBase, ConnectionString, DataBaseString, DataBaseFile, CommandType,
    CommandText, NewDataBase, NoDataBase, DataBaseNameUsed;
QString CatDataOperate, tnOperator, OperatorSaveVariant, OperatorType, OperatorDest, OperatorResult,
    OperatorSource, tnString, StringConvertVariant, StringConvertType, StringSubIndex, StringSubCount,
    tnDateTime, DateTimeVariant, DateTimeSystemOption, DateTimeSystem, DateTimeFromVariantOption,
    DateTimeFromVariant, DateTimeType, tnDBOperate, DBOperateDataBase, DBOperateType,
    DBOperatePositionVariant, tnField, FieldNameOrIndex, tnCommand, tnParam, ParamNameOrIndex, ParamValue,
    ParamOnly, ParamOr, ParamCanBeSet, tnTextFile, TextFileName, TextFileAppendText, TextFileWriteLine,
    tnInitFile, InitFileRead, InitFileWrite, InitFileSection, InitFileKey, InitFileValue, InitFileDefault,
    tnExecute, ExecuteCommandLine, ExecuteTimeOutTerminate;
QString CatFlowControl, tnIf, Condition, tnTrue, tnFalse, tnSwitch, tnCase, tnDefault, tnWhile, tnLabel,
    NewLabel, NoLabel, LabelNameUsed, tnBlock, tnGoto, GotoLabel, tnFinish, tnRestart;
QString CatTelephone, tnRing, RingSaveCaller, RingSaveCalled, RingTimes, tnAnswer, tnCall, CallCalledNo,
    CallCalledType, CallTimeOut, NoteCall, tnGateway, GatewayThroughAnother, GatewayAnother, GatewayType,
    NoteGateway, tnSpeakerPhone, SpeakerPhoneOnHook, OptionSpeaker, OptionMicSpeaker, SpeakerPhoneSpeaker,
    SpeakerPhoneMicSpeaker, SpeakerPhoneMode, NoteSpeakerPhone, OptionTransmitDTMF, tnPlay, PlayWavFile,
    PlayNewOrOpen, PlayClear, PlayInterruptible, NotePlay, tnRecord, RecordMaxLength, NoteRecord, Persist,
    tnSpeech, SpeechContent, SpeechSupportXmlOption, SpeechSupportXml, SpeechContentType, SpeechTextOption,
    SpeechText, SpeechLanguage, SpeechFileNameOption, SpeechFileName, SpeechContextOption, SpeechContext,
    NoteSpeech, SpeechTagInvalid, tnSendDTMF, SendDTMFDigits, NoteSendDTMF, tnReceiveDTMF, ReceiveDTMFEndChar,
    ReceiveDTMFTimeOut, ReceiveDTMFFirstAdd, tnSleep, SleepTime, NoteSleep;
QString tnVar, tnBegin, tnEnd, tnResult;
QString mnuFile, mnuNew, mnuOpen, mnuSave, mnuSaveAs, SaveAsTitle, mnuSaveFlowText, SaveFlowTextTitle,
    mnuClose, mnuCloseAll, mnuExit, mnuEdit, mnuProperty, mnuDelete, mnuBreakPoint, mnuClearAllBreakPoint,
    mnuDisable, mnuEnableAll, mnuView, mnuToolBar, mnuStatementBar, mnuVisible, mnuText, mnuExpandAll,
    mnuExpand, mnuCollapse, mnuCollapseAll, mnuDebug, mnuRun, mnuStep, mnuStop, mnuExecute, mnuOption,
    mnuWindow, mnuCascade, mnuTileHorizontal, mnuTileVertical, mnuNext, mnuPrevious, mnuMinimizeAll,
    mnuArrangeIcons, mnuHelp, mnuContents, About, AboutTail, mnuAddFlow, mnuInsertChildFlow;
QString OptionCaption, OptionChannelAddress, OptionUsingGateway, OptionAutoStart, OptionGateway,
    OptionGatewayAddress, OptionPlay, OptionDefaultLinePlay, OptionRecord, OptionDefaultLineRecord,
    OptionNoHook, OptionSelectGatewayAddress, OptionGatewaySameAsChannel, OptionLoadError, OptionSaveError;
QString Version, ProductName, ProductSubtitle, AboutWebSite, AboutTechSupport, AboutMarket;
QString NewFlow, Debugging, Modified, TextFileFilter, WavFileFilter, SaveChangesTo, StopDebuggingOf, NotRegularFile;
QString Error, ErrorContent, NumberFormatError, QuoteHint, FileCannotOpen, ReadFileError, SaveFileError,
    SaveFlowTextError, RunningReadOnly, NotTTSHint, Continue, NoDebugAddress, SelectDebugAddress, AllResult,
    NoChannel, UnknownStatus, FileOpenInOtherWindow, NoSoundDevice, SoundCannotRecord,
    SamplesCannotPlay, HelpNotInstalled, HelpViewerTitle, RecoveredCopiesFound, OpenRecoveredCopies;

QStringList ResultNames, ResultMessages, CommandTypeNames, OperatorNames, StringOperateNames, DateOperateNames,
    DataBaseOperateNames, CalledTypeNames, SpeechLanguageIds, SpeechLanguageNames, SpeechContextIds,
    SpeechContextNames;
QString FlowFileFilter;
QString VariantNameQuote;
QString HelpRoot, StatementHelpRoot;

namespace {

struct Row {
    Entry entry;
    const char* english;
    const char* chinese;
};

#define E(name, english, chinese) Row{Entry{#name, &name}, english, chinese}

const Row rows[] = {
    // 1. Shared dialog labels and words
    E(SaveVariant, "&Save Variant: ", "保存变量(&S)："),
    E(Name, "N&ame: ", "名称(&A)："),
    E(Note, "&Note: ", "说明(&N)："),
    E(Sec, "(Sec)", "(秒)"),
    E(Second, "Second", "秒"),
    E(Times, "Times", "次"),
    E(Ok, "&Ok", "确定(&O)"),
    E(Cancel, "&Cancel", "取消(&C)"),
    E(Close, "&Close", "关闭(&C)"),
    E(Help, "&Help", "帮助(&H)"),
    // 2. Node-caption marks and the run marker
    E(Colon, " : ", "："),
    E(BreakMark, "* ", "●"),
    E(RunMark, "->", "→"),
    E(NoteOpen, " {", " ｛"),
    E(NoteClose, "} ", "｝ "),
    // 3. Caption words and a common message
    E(Null, "Null", "空值"),
    E(NoOperate, "NoOperate", "无操作"),
    E(NameEmpty, "Name cann't be empty", "名称不能为空"),
    E(Interruptible, "Interruptible", "可中断"),
    E(UnInterruptible, "UnInterruptible", "不可中断"),
    // 4. Declarations
    E(CatDataDefine, "Data Define", "数据定义"),
    E(tnVariant, "Variant", "变量"),
    E(InitialValue, "Initial &Value: ", "初始值(&V)："),
    E(InitValue, "InitValue", "初始值"),
    E(CurrentValue, "Current &Value: ", "当前值(&V)："),
    E(NewVariant, "NewVariant", "新变量"),
    E(NoVariant, "NoVariant", "无变量"),
    E(VariantNameUsed, "Name has been used by another Variant", "名称已被其他变量使用"),
    E(tnCategory, "Category", "分类"),
    E(tnDataBase, "DataBase", "数据库"),
    E(ConnectionString, "Connection Strin&g: ", "连接字符串(&G)："),
    E(DataBaseString, "&String...", "字符串(&S)..."),
    E(DataBaseFile, "&File...", "文件(&F)..."),
    E(CommandType, "Command &Type: ", "命令类型(&T)："),
    E(CommandText, "Command T&ext: ", "命令文字(&E)："),
    E(NewDataBase, "NewDataBase", "新数据库"),
    E(NoDataBase, "NoDataBase", "无数据库"),
    E(DataBaseNameUsed, "Name has been used by another DataBase", "名称已被其他数据库使用"),
    // 5. Data operations
    E(CatDataOperate, "Data Operate", "数据操作"),
    E(tnOperator, "Operator", "变量运算"),
    E(OperatorSaveVariant, "&Save Variant: ", "保存变量(&S)："),
    E(OperatorType, "Operator &Type: ", "运算类型(&T)："),
    E(OperatorDest, "&Dest: ", "目标(&D)："),
    E(OperatorResult, "&Result...", "结果(&R)..."),
    E(OperatorSource, "So&urce: ", "源(&U)："),
    E(tnString, "String", "字符串"),
    E(StringConvertVariant, "Convert &Variant: ", "转换变量(&V)："),
    E(StringConvertType, "Convert &Type: ", "转换类型(&T)："),
    E(StringSubIndex, "Sub &Index: ", "子串位置(&I)："),
    E(StringSubCount, "&Sub Count: ", "子串长度(&S)："),
    E(tnDateTime, "DateTime", "日期时间"),
    E(DateTimeVariant, "&DateTime Variant: ", "日期时间变量(&D)："),
    E(DateTimeSystemOption, "&System", "系统时间(&S)"),
    E(DateTimeSystem, "System", "系统时间"),
    E(DateTimeFromVariantOption, "&Variant", "变量(&V)"),
    E(DateTimeFromVariant, "Variant", "变量"),
    E(DateTimeType, "DateTime &Type: ", "日期时间类型(&T)："),
    E(tnDBOperate, "DBOperate", "数据库操作"),
    E(DBOperateDataBase, "&DataBase: ", "数据库(&D)："),
    E(DBOperateType, "&Operate Type: ", "操作类型(&O)："),
    E(DBOperatePositionVariant, "&Position Variant: ", "位置变量(&P)："),
    E(tnField, "Field", "字段"),
    E(FieldNameOrIndex, "&Field Name or Index: ", "字段名或序号(&F)："),
    E(tnCommand, "Command", "命令"),
    E(tnParam, "Param", "参数"),
    E(ParamNameOrIndex, "&Param Name or Index: ", "参数名或序号(&P)："),
    E(ParamValue, "Param &Value", "参数值(&V)"),
    E(ParamOnly, "Only ", "只有"),
    E(ParamOr, " or ", "或"),
    E(ParamCanBeSet, " can be set param", "才能设置参数"),
    E(tnTextFile, "TextFile", "文本文件"),
    E(TextFileName, "&File Name: ", "文件名(&F)："),
    E(TextFileAppendText, "&Append Text: ", "追加文字(&A)："),
    E(TextFileWriteLine, "Write &Line", "写入一行(&L)"),
    E(tnInitFile, "InitFile", "INI文件"),
    E(InitFileRead, "&Read", "读取(&R)"),
    E(InitFileWrite, "&Write", "写入(&W)"),
    E(InitFileSection, "&Section", "节(&S)"),
    E(InitFileKey, "&Key: ", "键(&K)："),
    E(InitFileValue, "&Value: ", "值(&V)："),
    E(InitFileDefault, "&Default: ", "缺省值(&D)："),
    E(tnExecute, "Execute", "执行程序"),
    E(ExecuteCommandLine, "Command &Line", "命令行(&L)"),
    E(ExecuteTimeOutTerminate, "TimeOut &Terminate", "超时终止(&T)"),
    // 6. Flow control
    E(CatFlowControl, "Flow Control", "流程控制"),
    E(tnIf, "If", "如果"),
    E(Condition, "Con&dition: ", "条件(&D)："),
    E(tnTrue, "True", "真"),
    E(tnFalse, "False", "假"),
    E(tnSwitch, "Switch", "分支"),
    E(tnCase, "Case", "情况"),
    E(tnDefault, "Default", "缺省"),
    E(tnWhile, "While", "循环"),
    E(tnLabel, "Label", "标签"),
    E(NewLabel, "NewLabel", "新标签"),
    E(NoLabel, "NoLabel", "无标签"),
    E(LabelNameUsed, "Name has been used by another Variant", "名称已被其他标签使用"),
    E(tnBlock, "Block", "语句块"),
    E(tnGoto, "Goto", "跳转"),
    E(GotoLabel, "&Label: ", "标签(&L)："),
    E(tnFinish, "Finish", "完成"),
    E(tnRestart, "Restart", "重新开始"),
    // 7. Telephone statements
    E(CatTelephone, "Telephone", "电话"),
    E(tnRing, "Ring", "振铃"),
    E(RingSaveCaller, "&Save Caller: ", "保存主叫(&S)："),
    E(RingSaveCalled, "S&ave Called: ", "保存被叫(&A)："),
    E(RingTimes, "Ring &Times: ", "振铃次数(&T)："),
    E(tnAnswer, "Answer", "应答"),
    E(tnCall, "Call", "呼叫"),
    E(CallCalledNo, "C&alled No: ", "被叫号码(&A)："),
    E(CallCalledType, "Called T&ype: ", "被叫类型(&Y)："),
    E(CallTimeOut, "&Time Out: ", "超时(&T)："),
    E(NoteCall, "&Note: ", "呼叫说明(&N)："),
    E(tnGateway, "Gateway", "网关"),
    E(GatewayThroughAnother, "T&hrough Another Gateway", "通过另一网关(&H)"),
    E(GatewayAnother, "Another &Gateway: ", "另一网关(&G)："),
    E(GatewayType, "Gateway T&ype: ", "网关类型(&Y)："),
    E(NoteGateway, "&Note: ", "网关说明(&N)："),
    E(tnSpeakerPhone, "SpeakerPhone", "免提"),
    E(SpeakerPhoneOnHook, "On&Hook", "挂机(&H)"),
    E(OptionSpeaker, "&Speaker", "扬声器(&S)"),
    E(OptionMicSpeaker, "&MicSpeaker", "麦克风和扬声器(&M)"),
    E(SpeakerPhoneSpeaker, "&Speaker", "免提(&S)"),
    E(SpeakerPhoneMicSpeaker, "&MicSpeaker", "麦克风免提(&M)"),
    E(SpeakerPhoneMode, "Mode", "模式"),
    E(NoteSpeakerPhone, "&Note: ", "免提说明(&N)："),
    E(OptionTransmitDTMF, "&Transmit DTMF", "转发按键(&T)"),
    E(tnPlay, "Play", "放音"),
    E(PlayWavFile, "&Wav File: ", "声音文件(&W)："),
    E(PlayNewOrOpen, "N&ew or Open...", "新建或打开(&E)..."),
    E(PlayClear, "C&Lear", "清除(&L)"),
    E(PlayInterruptible, "&Interruptible when press key", "按键时可中断(&I)"),
    E(NotePlay, "&Note: ", "放音说明(&N)："),
    E(tnRecord, "Record", "录音"),
    E(RecordMaxLength, "&MaxLength: ", "最大长度(&M)："),
    E(NoteRecord, "&Note: ", "录音说明(&N)："),
    E(Persist, "Persist", "持续"),
    E(tnSpeech, "Speech", "语音合成"),
    E(SpeechContent, "Co&ntent: ", "内容(&N)："),
    E(SpeechSupportXmlOption, "Support &XML", "支持XML(&X)"),
    E(SpeechSupportXml, "SupportXML", "支持XML"),
    E(SpeechContentType, "Content Type", "内容类型"),
    E(SpeechTextOption, "&Text", "文字(&T)"),
    E(SpeechText, "Text", "文字"),
    E(SpeechLanguage, "Language", "语言"),
    E(SpeechFileNameOption, "&File Name (Speak File Content)", "文件名（朗读文件内容）(&F)"),
    E(SpeechFileName, "FileName", "文件名"),
    E(SpeechContextOption, "Cont&ext", "上下文(&E)"),
    E(SpeechContext, "Context", "上下文"),
    E(NoteSpeech, "&Note: ", "语音合成说明(&N)："),
    E(SpeechTagInvalid, "A language or context id cannot hold quotation marks or angle brackets.",
      "语言或上下文标识不能包含引号或尖括号。"),
    E(tnSendDTMF, "SendDTMF", "发送按键"),
    E(SendDTMFDigits, "&Send DTMF: ", "发送按键(&S)："),
    E(NoteSendDTMF, "&Note: ", "发送按键说明(&N)："),
    E(tnReceiveDTMF, "ReceiveDTMF", "接收按键"),
    E(ReceiveDTMFEndChar, "&End Char: ", "结束字符(&E)："),
    E(ReceiveDTMFTimeOut, "&Time Out: ", "超时(&T)："),
    E(ReceiveDTMFFirstAdd, "&First Add: ", "首键附加(&F)："),
    E(tnSleep, "Sleep", "等待"),
    E(SleepTime, "&Time: ", "时间(&T)："),
    E(NoteSleep, "&Note: ", "等待说明(&N)："),
    // 8. Root statements and the result variable
    E(tnVar, "Var", "数据定义"),
    E(tnBegin, "Begin", "开始"),
    E(tnEnd, "End", "结束"),
    E(tnResult, "Result", "结果"),
    // 9. Editor menus and actions
    E(mnuFile, "&File", "文件(&F)"),
    E(mnuNew, "&New", "新建(&N)"),
    E(mnuOpen, "&Open", "打开(&O)"),
    E(mnuSave, "&Save", "保存(&S)"),
    E(mnuSaveAs, "Save &As...", "另存为(&A)..."),
    E(SaveAsTitle, "Save As", "另存为"),
    E(mnuSaveFlowText, "Save Flow &Text...", "保存流程文本(&T)..."),
    E(SaveFlowTextTitle, "Save Flow Text", "保存流程文本"),
    E(mnuClose, "&Close", "关闭(&C)"),
    E(mnuCloseAll, "Close A&ll", "全部关闭(&L)"),
    E(mnuExit, "&Exit", "退出(&E)"),
    E(mnuEdit, "&Edit", "编辑(&E)"),
    E(mnuProperty, "&Property...", "属性(&P)..."),
    E(mnuDelete, "&Delete", "删除(&D)"),
    E(mnuBreakPoint, "&BreakPoint", "断点(&B)"),
    E(mnuClearAllBreakPoint, "&Clear All BreakPoint", "清除所有断点(&C)"),
    E(mnuDisable, "D&isable", "禁用(&I)"),
    E(mnuEnableAll, "&Enable All", "全部启用(&E)"),
    E(mnuView, "&View", "查看(&V)"),
    E(mnuToolBar, "&ToolBar", "工具栏(&T)"),
    E(mnuStatementBar, "&StatementBar", "语句栏(&S)"),
    E(mnuVisible, "&Visible", "显示(&V)"),
    E(mnuText, "&Text", "文字(&T)"),
    E(mnuExpandAll, "&Expand All", "全部展开(&E)"),
    E(mnuExpand, "E&xpand", "展开(&X)"),
    E(mnuCollapse, "&C&ollapse", "折叠(&O)"),
    E(mnuCollapseAll, "&Collapse All", "全部折叠(&C)"),
    E(mnuDebug, "&Debug", "调试(&D)"),
    E(mnuRun, "&Run", "运行(&R)"),
    E(mnuStep, "&Step", "单步(&S)"),
    E(mnuStop, "S&top", "停止(&T)"),
    E(mnuExecute, "&Execute", "执行(&E)"),
    E(mnuOption, "&Option...", "选项(&O)..."),
    E(mnuWindow, "&Window", "窗口(&W)"),
    E(mnuCascade, "&Cascade", "层叠(&C)"),
    E(mnuTileHorizontal, "Tile &Horizontal", "水平平铺(&H)"),
    E(mnuTileVertical, "Tile &Vertical", "垂直平铺(&V)"),
    E(mnuNext, "&Next", "下一个(&N)"),
    E(mnuPrevious, "&Previous", "上一个(&P)"),
    E(mnuMinimizeAll, "&Minimize All", "全部最小化(&M)"),
    E(mnuArrangeIcons, "&Ararange Icons", "排列图标(&A)"),
    E(mnuHelp, "&Help", "帮助(&H)"),
    E(mnuContents, "&Contents", "目录(&C)"),
    E(About, "&About ", "关于"),
    E(AboutTail, "...", "(&A)..."),
    E(mnuAddFlow, "&Add Flow", "添加流程(&A)"),
    E(mnuInsertChildFlow, "&Insert Child Flow", "插入子流程(&I)"),
    // 10. Channel properties dialog
    E(OptionCaption, "Debug Option", "调试选项"),
    E(OptionChannelAddress, "Channel &Address: ", "通道地址(&A)："),
    E(OptionUsingGateway, "Using &Gateway", "使用网关(&G)"),
    E(OptionAutoStart, "A&uto start when program execute", "程序运行时自动启动(&U)"),
    E(OptionGateway, "Gateway", "网关"),
    E(OptionGatewayAddress, "A&ddress", "地址(&D)"),
    E(OptionPlay, "&Play", "放音(&P)"),
    E(OptionDefaultLinePlay, "Default Line Play", "缺省线路放音"),
    E(OptionRecord, "&Record", "录音(&R)"),
    E(OptionDefaultLineRecord, "Default Line Record", "缺省线路录音"),
    E(OptionNoHook, "No&Hook", "不摘机(&H)"),
    E(OptionSelectGatewayAddress, "Please select Gateway Address", "请选择网关地址"),
    E(OptionGatewaySameAsChannel, "Gateway Address can't be same as Channel Address", "网关地址不能与通道地址相同"),
    E(OptionLoadError, "Load options error: ", "读取选项错误："),
    E(OptionSaveError, "Save options error: ", "保存选项错误："),
    // 11. About box
    E(Version, "Version 1.0.2", "版本 1.0.2"),
    E(ProductName, "Sorvix IVR", "Sorvix 语音应答系统"),
    E(ProductSubtitle, "Interactive Voice Response", "交互式语音应答系统"),
    E(AboutWebSite, "WebSite: ", "网址："),
    E(AboutTechSupport, "Technical Support: ", "技术支持："),
    E(AboutMarket, "Market: ", "市场："),
    // 12. Flow windows and files
    E(NewFlow, "NewFlow", "新流程"),
    E(Debugging, " - Debugging", " - 调试中"),
    E(Modified, " - Modified", " - 已修改"),
    E(TextFileFilter, "Text Files (*.txt)|*.txt|All Files (*.*)|*.*", "文本文件 (*.txt)|*.txt|所有文件 (*.*)|*.*"),
    E(WavFileFilter, "Wav Files (*.wav)|*.wav|All Files (*.*)|*.*", "声音文件 (*.wav)|*.wav|所有文件 (*.*)|*.*"),
    E(SaveChangesTo, "Save Changes to ", "保存修改到 "),
    E(StopDebuggingOf, "Stop debugging of ", "停止调试 "),
    E(NotRegularFile, "not a regular file", "不是普通文件"),
    // 13. Errors and questions
    E(Error, "Error", "错误"),
    E(ErrorContent, "Error content", "错误内容"),
    E(NumberFormatError, "Number format error, error content: ", "数字格式错误，错误内容："),
    E(QuoteHint, "If it is String, it must be quoted by double quotation marks(\").", "如果是字符串，必须用双引号(\")括起来。"),
    E(FileCannotOpen, "File cann't be openned: ", "文件无法打开："),
    E(ReadFileError, "Read file error: ", "读文件错误："),
    E(SaveFileError, "Save file error: ", "保存文件错误："),
    E(SaveFlowTextError, "Save flow text error: ", "保存流程文本错误："),
    E(RunningReadOnly, " [Running - ReadOnly]", " [运行中 - 只读]"),
    E(NotTTSHint, "Please download and intall a speech engine (for example espeak-ng) for this system.", "请下载并安装本系统可用的语音合成引擎（例如 espeak-ng）。"),
    E(Continue, "Continue?", "是否继续？"),
    E(NoDebugAddress, "There isn't an device address to debug.", "没有可以调试的设备地址。"),
    E(SelectDebugAddress, "Please select Debug Address.", "请选择调试地址。"),
    E(AllResult, "&All Result: ", "所有结果(&A)："),
    E(NoChannel, "No channel: the device address could not be opened", "没有通道：设备地址未能打开"),
    E(UnknownStatus, "Unknown device status: ", "未知的设备状态："),
    E(FileOpenInOtherWindow, "Another flow window holds this file; close it first: ", "另一个流程窗口正打开此文件，请先关闭它："),
    E(NoSoundDevice, "No sound device", "没有声音设备"),
    E(HelpNotInstalled, "The help pages are not installed in %1.\r\nPress OK to open the Sorvix web site, where they can be read and downloaded.",
      "帮助页面没有安装在 %1。\r\n按“确定”打开 Sorvix 网站，在那里可以阅读和下载帮助。"),
    E(HelpViewerTitle, "Help - ", "帮助 - "),
    E(RecoveredCopiesFound, "When the editor was last stopped, unsaved work was kept in these recovery copies:",
      "上次编辑器被停止时，未保存的工作已保存在以下恢复副本中："),
    E(OpenRecoveredCopies, "Open them now?", "现在打开它们吗？"),
    E(SoundCannotRecord, "The sound device cannot record 8 kHz 16-bit mono", "声音设备无法录制 8 kHz 16 位单声道"),
    E(SamplesCannotPlay, "%1-bit samples cannot be played", "无法播放 %1 位的采样"),
};

#undef E

static_assert(std::size(rows) == 265);

const std::array<Entry, std::size(rows)> entries = [] {
    std::array<Entry, std::size(rows)> list{};
    for (std::size_t i = 0; i < std::size(rows); ++i) list[i] = rows[i].entry;
    return list;
}();

// One fixed list: the English and the Chinese column.
struct Pair {
    const char* english;
    const char* chinese;
};

template <std::size_t N>
QStringList column(const Pair (&pairs)[N], bool chinese)
{
    QStringList list;
    list.reserve(N);
    for (const Pair& p : pairs) list << QString::fromUtf8(chinese ? p.chinese : p.english);
    return list;
}

template <std::size_t N>
QStringList texts(const char* const (&items)[N])
{
    QStringList list;
    list.reserve(N);
    for (const char* item : items) list << QString::fromUtf8(item);
    return list;
}

const Pair resultNames[] = {
    {"returnSUCCESS", "返回成功"},
    {"returnFAILED", "返回失败"},
    {"returnHANGUP", "返回挂机"},
    {"returnCALLFAILED", "返回呼叫失败"},
};

const Pair resultMessages[] = {
    {"", ""},
    {"Failed", "失败"},
    {"", ""},
    {"CallFailed", "呼叫失败"},
    {"", ""},
    {"Connected", "已连接"},
    {"Disconnected", "未连接"},
    {"NotTTS", "无语音合成"},
    {"NotEnoughParam", "缺少参数"},
    {"ParamError", "参数错误"},
};

const Pair commandTypeNames[] = {
    {"Unknown", "自动匹配"},
    {"SQLStatement", "SQL语句"},
    {"Table", "表格"},
    {"StoredProcedure", "存储过程"},
};

const Pair operatorNames[] = {
    {"Assign", "赋值"},
    {"Add", "加"},
    {"Subtract", "减"},
    {"Multiply", "乘"},
    {"RealDivide", "除以"},
    {"IntDivide", "整除以"},
    {"Modulus", "取模"},
    {"Less", "是否小于"},
    {"LessEqual", "是否小于等于"},
    {"Equality", "是否等于"},
    {"Inequality", "是否不等于"},
    {"GreaterEqual", "是否大于等于"},
    {"Greater", "是否大于"},
    {"And", "与"},
    {"Or", "或"},
    {"Not", "非"},
};

const Pair stringOperateNames[] = {
    {"GetLength", "取长度"},
    {"TrimLeft", "去除左端空格"},
    {"TrimRight", "去除右端空格"},
    {"Trim", "去除左右两端空格"},
    {"SubString", "取子串（部分文字）"},
    {"ToNumber", "转换为数字"},
    {"ToString", "转换为文字"},
};

const Pair dateOperateNames[] = {
    {"DateTime", "日期时间"},
    {"Date", "日期"},
    {"Year", "年"},
    {"Month", "月"},
    {"Day", "日"},
    {"Week", "星期"},
    {"Time", "时间"},
    {"Hour", "时"},
    {"Minute", "分"},
    {"Second", "秒"},
    {"MillSecond", "毫秒"},
    {"Days", "天数"},
    {"Hours", "小时数"},
    {"Minutes", "分钟数"},
    {"Seconds", "秒数"},
};

const Pair dataBaseOperateNames[] = {
    {"Execute", "执行"},
    {"Open", "打开"},
    {"Close", "关闭"},
    {"First", "首记录"},
    {"Prior", "上一条记录"},
    {"Next", "下一条记录"},
    {"Last", "末记录"},
};

const Pair calledTypeNames[] = {
    {"Phone Number", "电话号码"},
    {"Domain Name", "主机名"},
    {"IP Address", "IP地址"},
};

const char* const englishLanguageIds[] = {"", "409"};
const char* const englishLanguageNames[] = {"Default_Language", "American_English"};
const char* const chineseLanguageIds[] = {"", "804", "409"};
const char* const chineseLanguageNames[] = {"缺省语言", "简体中文", "美国英语"};

const char* const englishContexts[] = {
    "Date_MDY", "Date_DMY", "Date_YMD", "Date_YM", "Date_MY", "Date_DM",
    "Date_MD", "Date_Year", "Time", "Number_Cardinal", "Number_Digit", "Number_Fraction",
    "Number_Decimal", "Currency", "Web_Url", "E-mail_Address", "Address", "Address_Postal",
};

const char* const chineseContextIds[] = {
    "Date_mdy", "Date_dmy", "Date_ymd", "CHS_Date_ymdhm", "Date_ym", "Date_my",
    "Date_md", "Date_dm", "Date_year", "CHS_time_hms", "CHS_time_hm", "number_cardinal",
    "number_digit", "number_fraction", "number_decimal", "CHS_number_percentage", "CHS_number_scientific",
    "CHS_phone_postal",
};

const char* const chineseContextNames[] = {
    "日期 月/日/年",
    "日期 日.月.年",
    "日期 年-月-日",
    "日期 年-月-日 时:分 AM(上午)或PM(下午)(仅中文)",
    "日期 年-月",
    "日期 月/年",
    "日期 月/日",
    "日期 日/月",
    "日期 年",
    "时间 时:分:秒 AM(上午)或PM(下午)(仅中文)",
    "时间 时:分(仅中文)",
    "数字 数值",
    "数字 数字",
    "数字 分数",
    "数字 小数",
    "数字 百分数(仅中文)",
    "数字 科学计数(仅中文)",
    "电话号码或邮政编码(仅中文)",
};

static_assert(std::size(englishContexts) == 18 && std::size(chineseContextIds) == 18 &&
              std::size(chineseContextNames) == 18);

}  // namespace

std::span<const Entry> allEntries() { return entries; }

int resultCodeOfName(const QString& name)
{
    for (int code = 0; code < int(std::size(resultNames)); ++code)
        if (name == QString::fromUtf8(resultNames[code].english) || name == QString::fromUtf8(resultNames[code].chinese))
            return code;
    return -1;
}
}  // namespace txt

void setTextLanguage(bool chinese)
{
    using namespace txt;
    IsChinese = chinese;
    setWaveTextLanguage(chinese);
    for (const Row& row : rows) *row.entry.text = QString::fromUtf8(chinese ? row.chinese : row.english);

    ResultNames = column(resultNames, chinese);
    ResultMessages = column(resultMessages, chinese);
    CommandTypeNames = column(commandTypeNames, chinese);
    OperatorNames = column(operatorNames, chinese);
    StringOperateNames = column(stringOperateNames, chinese);
    DateOperateNames = column(dateOperateNames, chinese);
    DataBaseOperateNames = column(dataBaseOperateNames, chinese);
    CalledTypeNames = column(calledTypeNames, chinese);
    FlowFileFilter = chinese ? QStringLiteral("Sorvix流程文件(*.svx)|*.svx|所有文件(*.*)|*.*")
                             : QStringLiteral("Sorvix Flow Files (*.svx)|*.svx|All Files (*.*)|*.*");
    if (chinese) {
        SpeechLanguageIds = texts(chineseLanguageIds);
        SpeechLanguageNames = texts(chineseLanguageNames);
        SpeechContextIds = texts(chineseContextIds);
        SpeechContextNames = texts(chineseContextNames);
    } else {
        SpeechLanguageIds = texts(englishLanguageIds);
        SpeechLanguageNames = texts(englishLanguageNames);
        SpeechContextIds = texts(englishContexts);
        SpeechContextNames = SpeechContextIds;
    }
    VariantNameQuote = chinese ? QStringLiteral("名称不能以双引号(\")开头")
                               : QStringLiteral("Name can't begin with a double quotation mark(\")");
}

bool chineseTextsFor(const QLocale& locale, const QByteArray& forced)
{
    if (forced == "zh") return true;
    if (forced == "en") return false;
    return locale.language() == QLocale::Chinese && locale.territory() == QLocale::China;
}

void initTexts() { setTextLanguage(chineseTextsFor(QLocale::system(), qgetenv("SORVIX_LANGUAGE"))); }
