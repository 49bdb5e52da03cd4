#include "engine/texts.h"

#include <QLocale>

bool IsChinese = false;

namespace txt {
QString tnVar, tnBegin, tnEnd, tnResult, tnCategory, tnVariant, tnDataBase, tnLabel, tnGoto, tnFinish,
    tnRestart, tnBlock, tnIf, tnTrue, tnFalse, tnSwitch, tnCase, tnDefault, tnWhile, tnDateTime, tnOperator,
    tnString, tnDBOperate, tnField, tnParam, tnCommand, tnTextFile, tnInitFile, tnExecute, tnPlay, tnRecord,
    tnSleep, tnSpeech, tnRing, tnCall, tnGateway, tnAnswer, tnSpeakerPhone, tnSendDTMF, tnReceiveDTMF;
QString Colon, BreakMark, RunMark, NoteOpen, NoteClose, Null;
QString InitValue, NoLabel, NoVariant, NoOperate, NewVariant, NewDataBase, NewLabel;
QString NumberFormatError, QuoteHint, NotTTSHint;
QString Error, ErrorContent, Continue, About, Version, Ok, Cancel, Help;
QString HelpRoot, StatementHelpRoot;
QStringList ResultNames, ResultMessages, CommandTypeNames;
}  // namespace txt

void setTextLanguage(bool chinese)
{
    IsChinese = chinese;
    using namespace txt;
    tnVar = "Var"; tnBegin = "Begin"; tnEnd = "End"; tnResult = "Result"; tnCategory = "Category";
    tnVariant = "Variant"; tnDataBase = "DataBase"; tnLabel = "Label"; tnGoto = "Goto"; tnFinish = "Finish";
    tnRestart = "Restart"; tnBlock = "Block"; tnIf = "If"; tnTrue = "True"; tnFalse = "False";
    tnSwitch = "Switch"; tnCase = "Case"; tnDefault = "Default"; tnWhile = "While"; tnDateTime = "DateTime";
    tnOperator = "Operator"; tnString = "String"; tnDBOperate = "DBOperate"; tnField = "Field";
    tnParam = "Param"; tnCommand = "Command"; tnTextFile = "TextFile"; tnInitFile = "InitFile";
    tnExecute = "Execute"; tnPlay = "Play"; tnRecord = "Record"; tnSleep = "Sleep"; tnSpeech = "Speech";
    tnRing = "Ring"; tnCall = "Call"; tnGateway = "Gateway"; tnAnswer = "Answer";
    tnSpeakerPhone = "SpeakerPhone"; tnSendDTMF = "SendDTMF"; tnReceiveDTMF = "ReceiveDTMF";
    Colon = " : "; BreakMark = "* "; RunMark = "->"; NoteOpen = " {"; NoteClose = "} "; Null = "Null";
    InitValue = "InitValue"; NoLabel = "NoLabel"; NoVariant = "NoVariant"; NoOperate = "NoOperate";
    NewVariant = "NewVariant"; NewDataBase = "NewDataBase"; NewLabel = "NewLabel";
    NumberFormatError = "Number format error, error content: ";
    QuoteHint = "If it is String, it must be quoted by double quotation marks(\").";
    NotTTSHint = "Please download and intall a speech engine.";
    Error = "Error"; ErrorContent = "Error content"; Continue = "Continue?"; About = "&About ";
    Version = "Version 1.0.2"; Ok = "&Ok"; Cancel = "&Cancel"; Help = "&Help";
    ResultNames = {"returnSUCCESS", "returnFAILED", "returnHANGUP", "returnCALLFAILED"};
    ResultMessages = {"", "Failed", "", "CallFailed", "", "Connected", "Disconnected", "NotTTS", "NotEnoughParam", "ParamError"};
    CommandTypeNames = {"Unknown", "SQLStatement", "Table", "StoredProcedure"};
}

void initTexts()
{
    const QByteArray forced = qgetenv("SORVIX_LANGUAGE");
    bool chinese = QLocale::system().language() == QLocale::Chinese &&
                   QLocale::system().territory() == QLocale::China;
    if (forced == "zh") chinese = true;
    if (forced == "en") chinese = false;
    setTextLanguage(chinese);
}
