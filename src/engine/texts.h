#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <span>

// The language of the whole run: decided once by initTexts(), before any text is read.
extern bool IsChinese;

// Decides the language (SORVIX_LANGUAGE=zh|en overrides the locale; zh_CN is Chinese)
// and fills every entry and list below. Safe to call more than once (tests switch language
// with setTextLanguage).
void initTexts();
// Fills the tables for the given language; for tests and for initTexts.
void setTextLanguage(bool chinese);
// The language choice of initTexts: Chinese exactly for the Chinese of the People's Republic
// (language Chinese, territory China), unless forced is "zh" or "en".
bool chineseTextsFor(const QLocale& locale, const QByteArray& forced);

// Caption and message entries. Each entry is one global text, read by its name; several entries
// share an English text but not their Chinese one (the "&Note: " labels), so never look one up
// by its English text. Grouped by role; the English text stands beside each name.
// Prefixes: tn = a statement kind's type name, Cat = a palette category, mnu = an editor menu or
// action, Option = the channel properties dialog, Note<Statement> = that statement's note label;
// other entries of one dialog start with the statement's name (CallTimeOut, PlayWavFile).
// An entry ending in "Option" is a check box or radio caption whose plain word is the entry
// without the suffix (SpeechTextOption "&Text", SpeechText "Text").
namespace txt {
// 1. Shared dialog labels and words
extern QString SaveVariant;                // "&Save Variant: "
extern QString Name;                       // "N&ame: "
extern QString Note;                       // "&Note: "
extern QString Sec;                        // "(Sec)"
extern QString Second;                     // "Second"
extern QString Times;                      // "Times"
extern QString Ok;                         // "&Ok"
extern QString Cancel;                     // "&Cancel"
extern QString Close;                      // "&Close"
extern QString Help;                       // "&Help"

// 2. Node-caption marks and the run marker
extern QString Colon;                      // " : " (type name : details; also "Error" : label in input-error titles)
extern QString BreakMark;                  // "* " (breakpoint mark)
extern QString RunMark;                    // "->" (before the caption of the statement where a debug run is paused)
extern QString NoteOpen;                   // " {" (around a statement's note)
extern QString NoteClose;                  // "} "

// 3. Caption words and a common message
extern QString Null;                       // "Null" (operand without value)
extern QString NoOperate;                  // "NoOperate"
extern QString NameEmpty;                  // "Name cann't be empty"
extern QString Interruptible;              // "Interruptible"
extern QString UnInterruptible;            // "UnInterruptible"

// 4. Declarations
extern QString CatDataDefine;              // "Data Define" (palette category)
extern QString tnVariant;                  // "Variant"
extern QString InitialValue;               // "Initial &Value: "
extern QString InitValue;                  // "InitValue"
extern QString CurrentValue;               // "Current &Value: "
extern QString NewVariant;                 // "NewVariant" (name prefix of a new variable)
extern QString NoVariant;                  // "NoVariant"
extern QString VariantNameUsed;            // "Name has been used by another Variant"
extern QString tnCategory;                 // "Category"
extern QString tnDataBase;                 // "DataBase"
extern QString ConnectionString;           // "Connection Strin&g: "
extern QString DataBaseString;             // "&String..."
extern QString DataBaseFile;               // "&File..."
extern QString CommandType;                // "Command &Type: "
extern QString CommandText;                // "Command T&ext: "
extern QString NewDataBase;                // "NewDataBase"
extern QString NoDataBase;                 // "NoDataBase"
extern QString DataBaseNameUsed;           // "Name has been used by another DataBase"

// 5. Data operations
extern QString CatDataOperate;             // "Data Operate" (palette category)
extern QString tnOperator;                 // "Operator"
extern QString OperatorSaveVariant;        // "&Save Variant: "
extern QString OperatorType;               // "Operator &Type: "
extern QString OperatorDest;               // "&Dest: "
extern QString OperatorResult;             // "&Result..."
extern QString OperatorSource;             // "So&urce: "
extern QString tnString;                   // "String"
extern QString StringConvertVariant;       // "Convert &Variant: "
extern QString StringConvertType;          // "Convert &Type: "
extern QString StringSubIndex;             // "Sub &Index: "
extern QString StringSubCount;             // "&Sub Count: "
extern QString tnDateTime;                 // "DateTime"
extern QString DateTimeVariant;            // "&DateTime Variant: "
extern QString DateTimeSystemOption;       // "&System"
extern QString DateTimeSystem;             // "System"
extern QString DateTimeFromVariantOption;  // "&Variant"
extern QString DateTimeFromVariant;        // "Variant"
extern QString DateTimeType;               // "DateTime &Type: "
extern QString tnDBOperate;                // "DBOperate"
extern QString DBOperateDataBase;          // "&DataBase: "
extern QString DBOperateType;              // "&Operate Type: "
extern QString DBOperatePositionVariant;   // "&Position Variant: "
extern QString tnField;                    // "Field"
extern QString FieldNameOrIndex;           // "&Field Name or Index: "
extern QString tnCommand;                  // "Command"
extern QString tnParam;                    // "Param"
extern QString ParamNameOrIndex;           // "&Param Name or Index: "
extern QString ParamValue;                 // "Param &Value"
extern QString ParamOnly;                  // "Only "
extern QString ParamOr;                    // " or "
extern QString ParamCanBeSet;              // " can be set param"
extern QString tnTextFile;                 // "TextFile"
extern QString TextFileName;               // "&File Name: "
extern QString TextFileAppendText;         // "&Append Text: "
extern QString TextFileWriteLine;          // "Write &Line"
extern QString tnInitFile;                 // "InitFile"
extern QString InitFileRead;               // "&Read"
extern QString InitFileWrite;              // "&Write"
extern QString InitFileSection;            // "&Section"
extern QString InitFileKey;                // "&Key: "
extern QString InitFileValue;              // "&Value: "
extern QString InitFileDefault;            // "&Default: "
extern QString tnExecute;                  // "Execute"
extern QString ExecuteCommandLine;         // "Command &Line"
extern QString ExecuteTimeOutTerminate;    // "TimeOut &Terminate"

// 6. Flow control
extern QString CatFlowControl;             // "Flow Control" (palette category)
extern QString tnIf;                       // "If"
extern QString Condition;                  // "Con&dition: "
extern QString tnTrue;                     // "True"
extern QString tnFalse;                    // "False"
extern QString tnSwitch;                   // "Switch"
extern QString tnCase;                     // "Case"
extern QString tnDefault;                  // "Default"
extern QString tnWhile;                    // "While"
extern QString tnLabel;                    // "Label"
extern QString NewLabel;                   // "NewLabel"
extern QString NoLabel;                    // "NoLabel"
extern QString LabelNameUsed;              // "Name has been used by another Variant" (label dialog, duplicate label name)
extern QString tnBlock;                    // "Block"
extern QString tnGoto;                     // "Goto"
extern QString GotoLabel;                  // "&Label: "
extern QString tnFinish;                   // "Finish"
extern QString tnRestart;                  // "Restart"

// 7. Telephone statements
extern QString CatTelephone;               // "Telephone" (palette category)
extern QString tnRing;                     // "Ring"
extern QString RingSaveCaller;             // "&Save Caller: "
extern QString RingSaveCalled;             // "S&ave Called: "
extern QString RingTimes;                  // "Ring &Times: "
extern QString tnAnswer;                   // "Answer"
extern QString tnCall;                     // "Call"
extern QString CallCalledNo;               // "C&alled No: "
extern QString CallCalledType;             // "Called T&ype: "
extern QString CallTimeOut;                // "&Time Out: "
extern QString NoteCall;                   // "&Note: "
extern QString tnGateway;                  // "Gateway"
extern QString GatewayThroughAnother;      // "T&hrough Another Gateway"
extern QString GatewayAnother;             // "Another &Gateway: "
extern QString GatewayType;                // "Gateway T&ype: "
extern QString NoteGateway;                // "&Note: "
extern QString tnSpeakerPhone;             // "SpeakerPhone" (also the hook-switch group of the channel properties dialog)
extern QString SpeakerPhoneOnHook;         // "On&Hook"
extern QString OptionSpeaker;              // "&Speaker" (channel properties dialog)
extern QString OptionMicSpeaker;           // "&MicSpeaker" (channel properties dialog)
extern QString SpeakerPhoneSpeaker;        // "&Speaker"
extern QString SpeakerPhoneMicSpeaker;     // "&MicSpeaker"
extern QString SpeakerPhoneMode;           // "Mode"
extern QString NoteSpeakerPhone;           // "&Note: "
extern QString OptionTransmitDTMF;         // "&Transmit DTMF" (channel properties dialog)
extern QString tnPlay;                     // "Play"
extern QString PlayWavFile;                // "&Wav File: "
extern QString PlayNewOrOpen;              // "N&ew or Open..."
extern QString PlayClear;                  // "C&Lear"
extern QString PlayInterruptible;          // "&Interruptible when press key"
extern QString NotePlay;                   // "&Note: "
extern QString tnRecord;                   // "Record"
extern QString RecordMaxLength;            // "&MaxLength: "
extern QString NoteRecord;                 // "&Note: "
extern QString Persist;                    // "Persist" (caption word for a length of 0)
extern QString tnSpeech;                   // "Speech"
extern QString SpeechContent;              // "Co&ntent: "
extern QString SpeechSupportXmlOption;     // "Support &XML"
extern QString SpeechSupportXml;           // "SupportXML"
extern QString SpeechContentType;          // "Content Type"
extern QString SpeechTextOption;           // "&Text"
extern QString SpeechText;                 // "Text"
extern QString SpeechLanguage;             // "Language"
extern QString SpeechFileNameOption;       // "&File Name (Speak File Content)"
extern QString SpeechFileName;             // "FileName"
extern QString SpeechContextOption;        // "Cont&ext"
extern QString SpeechContext;              // "Context"
extern QString NoteSpeech;                 // "&Note: "
extern QString SpeechTagInvalid;           // "A language or context id cannot hold quotation marks or angle brackets."
extern QString tnSendDTMF;                 // "SendDTMF"
extern QString SendDTMFDigits;             // "&Send DTMF: "
extern QString NoteSendDTMF;               // "&Note: "
extern QString tnReceiveDTMF;              // "ReceiveDTMF"
extern QString ReceiveDTMFEndChar;         // "&End Char: "
extern QString ReceiveDTMFTimeOut;         // "&Time Out: "
extern QString ReceiveDTMFFirstAdd;        // "&First Add: "
extern QString tnSleep;                    // "Sleep"
extern QString SleepTime;                  // "&Time: "
extern QString NoteSleep;                  // "&Note: "

// 8. Root statements and the result variable
extern QString tnVar;                      // "Var"
extern QString tnBegin;                    // "Begin"
extern QString tnEnd;                      // "End"
extern QString tnResult;                   // "Result"

// 9. Editor menus and actions
extern QString mnuFile;                    // "&File"
extern QString mnuNew;                     // "&New"
extern QString mnuOpen;                    // "&Open"
extern QString mnuSave;                    // "&Save"
extern QString mnuSaveAs;                  // "Save &As..."
extern QString SaveAsTitle;                // "Save As" (save dialog title)
extern QString mnuSaveFlowText;            // "Save Flow &Text..."
extern QString SaveFlowTextTitle;          // "Save Flow Text" (dialog title)
extern QString mnuClose;                   // "&Close"
extern QString mnuCloseAll;                // "Close A&ll"
extern QString mnuExit;                    // "&Exit"
extern QString mnuEdit;                    // "&Edit"
extern QString mnuProperty;                // "&Property..."
extern QString mnuDelete;                  // "&Delete"
extern QString mnuBreakPoint;              // "&BreakPoint"
extern QString mnuClearAllBreakPoint;      // "&Clear All BreakPoint"
extern QString mnuDisable;                 // "D&isable"
extern QString mnuEnableAll;               // "&Enable All"
extern QString mnuView;                    // "&View"
extern QString mnuToolBar;                 // "&ToolBar"
extern QString mnuStatementBar;            // "&StatementBar"
extern QString mnuVisible;                 // "&Visible"
extern QString mnuText;                    // "&Text"
extern QString mnuExpandAll;               // "&Expand All"
extern QString mnuExpand;                  // "E&xpand"
extern QString mnuCollapse;                // "&C&ollapse"
extern QString mnuCollapseAll;             // "&Collapse All"
extern QString mnuDebug;                   // "&Debug"
extern QString mnuRun;                     // "&Run"
extern QString mnuStep;                    // "&Step"
extern QString mnuStop;                    // "S&top"
extern QString mnuExecute;                 // "&Execute"
extern QString mnuOption;                  // "&Option..."
extern QString mnuWindow;                  // "&Window"
extern QString mnuCascade;                 // "&Cascade"
extern QString mnuTileHorizontal;          // "Tile &Horizontal"
extern QString mnuTileVertical;            // "Tile &Vertical"
extern QString mnuNext;                    // "&Next"
extern QString mnuPrevious;                // "&Previous"
extern QString mnuMinimizeAll;             // "&Minimize All"
extern QString mnuArrangeIcons;            // "&Ararange Icons"
extern QString mnuHelp;                    // "&Help"
extern QString mnuContents;                // "&Contents"
extern QString About;                      // "&About " (+ product title + AboutTail: the about command; the about box caption uses this piece)
extern QString AboutTail;                   // "..."
extern QString mnuAddFlow;                 // "&Add Flow"
extern QString mnuInsertChildFlow;         // "&Insert Child Flow"

// 10. Channel properties dialog
extern QString OptionCaption;              // "Debug Option" (its caption in the editor)
extern QString OptionChannelAddress;       // "Channel &Address: "
extern QString OptionUsingGateway;         // "Using &Gateway"
extern QString OptionAutoStart;            // "A&uto start when program execute"
extern QString OptionGateway;              // "Gateway" (group caption)
extern QString OptionGatewayAddress;       // "A&ddress" (gateway address label)
extern QString OptionPlay;                 // "&Play"
extern QString OptionDefaultLinePlay;      // "Default Line Play"
extern QString OptionRecord;               // "&Record"
extern QString OptionDefaultLineRecord;    // "Default Line Record"
extern QString OptionNoHook;               // "No&Hook"
extern QString OptionSelectGatewayAddress; // "Please select Gateway Address"
extern QString OptionGatewaySameAsChannel; // "Gateway Address can't be same as Channel Address"
extern QString OptionLoadError;            // "Load options error: " (+ the key path and the store's error)
extern QString OptionSaveError;            // "Save options error: " (+ the key path and the store's error)

// 11. About box
extern QString Version;                    // "Version 1.0.2"
extern QString ProductName;                // "Sorvix IVR" (the product title of the windows and message boxes)
extern QString ProductSubtitle;            // "Interactive Voice Response"
extern QString AboutWebSite;               // "WebSite: "
extern QString AboutTechSupport;           // "Technical Support: "
extern QString AboutMarket;                // "Market: "

// 12. Flow windows and files
extern QString NewFlow;                    // "NewFlow" (name prefix of an unsaved flow)
extern QString Debugging;                  // " - Debugging"
extern QString Modified;                   // " - Modified"
extern QString TextFileFilter;             // "Text Files (*.txt)|*.txt|All Files (*.*)|*.*"
extern QString WavFileFilter;              // "Wav Files (*.wav)|*.wav|All Files (*.*)|*.*"
extern QString SaveChangesTo;              // "Save Changes to "
extern QString StopDebuggingOf;            // "Stop debugging of "
extern QString NotRegularFile;             // "not a regular file" (why a flow file that is a folder, pipe or device is not read)

// 13. Errors and questions
extern QString Error;                      // "Error"
extern QString ErrorContent;               // "Error content"
extern QString NumberFormatError;          // "Number format error, error content: "
extern QString QuoteHint;                  // "If it is String, it must be quoted by double quotation marks(\")." (the hint after a number format error)
extern QString FileCannotOpen;             // "File cann't be openned: "
extern QString ReadFileError;              // "Read file error: "
extern QString SaveFileError;              // "Save file error: "
extern QString SaveFlowTextError;          // "Save flow text error: "
extern QString RunningReadOnly;            // " [Running - ReadOnly]"
extern QString NotTTSHint;                // "Please download and intall a speech engine (for example espeak-ng) for this system."
extern QString Continue;                   // "Continue?"
extern QString FileOpenInOtherWindow;      // "Another flow window holds this file; close it first: "
extern QString NoSoundDevice;              // "No sound device"
extern QString HelpNotInstalled;           // "The help pages are not installed in %1 ..." (the help offer)
extern QString HelpViewerTitle;            // "Help - " (before the page's title)
extern QString RecoveredCopiesFound;       // "When the editor was last stopped, unsaved work was kept in these recovery copies:"
extern QString OpenRecoveredCopies;        // "Open them now?"
extern QString SoundCannotRecord;          // "The sound device cannot record 8 kHz 16-bit mono"
extern QString SamplesCannotPlay;          // "%1-bit samples cannot be played"
extern QString NoDebugAddress;             // "There isn't an device address to debug."
extern QString SelectDebugAddress;         // "Please select Debug Address."
extern QString AllResult;                  // "&All Result: " (label of the result picker)
extern QString NoChannel;                  // "No channel: the device address could not be opened" (a line or voice statement run without a channel)
extern QString UnknownStatus;              // "Unknown device status: " (+ the status a channel returned outside the known ones)

// Name lists, indexed by a result code or by the ordinal of an enumeration value.
extern QStringList ResultNames;          // "returnSUCCESS" ... by result code 0..3
// The result code a result name stands for in either language ("returnFAILED" and its Chinese
// form both give 1); -1 for any other text.
int resultCodeOfName(const QString& name);
extern QStringList ResultMessages;       // error text by line result code 0..9; 0, 2 and 4 empty
extern QStringList CommandTypeNames;     // TCommandType: "Unknown", "SQLStatement", ...
extern QStringList OperatorNames;        // TVariantOperateType from optAssign (optNull: NoOperate)
extern QStringList StringOperateNames;   // TStringOperateType from strGetLength
extern QStringList DateOperateNames;     // TDateOperateType from dtDateTime
extern QStringList DataBaseOperateNames; // TDataBaseOperateType from dbExecute
extern QStringList CalledTypeNames;      // TCalledType
// Speech statement: ids written into the XML tag and the names its dialog shows, in parallel.
// Languages: 2 entries in English, 3 in Chinese; the empty id writes no language tag.
extern QStringList SpeechLanguageIds, SpeechLanguageNames;
// Contexts: 18 entries in either language; in English the names are the ids.
extern QStringList SpeechContextIds, SpeechContextNames;

// The flow-file filter of the file dialogs, in the interface language (not a caption entry).
extern QString FlowFileFilter;  // "Sorvix Flow Files (*.svx)|*.svx|All Files (*.*)|*.*"
// The variable dialog refuses a name that begins with a double quotation mark: references to the
// variable are stored as its name, and such a name would read back as a string constant.
extern QString VariantNameQuote;  // "Name can't begin with a double quotation mark(\")"

// Help paths, empty until the program's start-up sets them; not touched by setTextLanguage.
extern QString HelpRoot, StatementHelpRoot;

// Every caption and message entry with its name, in table order (for table-wide checks).
struct Entry {
    const char* name;
    QString* text;
};
std::span<const Entry> allEntries();
}  // namespace txt
