#pragma once

#include <QString>
#include <QStringList>

// The language of the whole run: decided once by initTexts(), before any text is read.
extern bool IsChinese;

// Decides the language (SORVIX_LANGUAGE=zh|en overrides the locale; zh_CN is Chinese)
// and fills every entry and list below. Safe to call more than once (tests switch language
// with setTextLanguage).
void initTexts();
// Fills the tables for the given language; for tests and for initTexts.
void setTextLanguage(bool chinese);

// Caption and message entries. Each entry is one global text; several share an English text.
namespace txt {
// Type names of the statement kinds (tn + class name without "IVR").
extern QString tnVar, tnBegin, tnEnd, tnResult, tnCategory, tnVariant, tnDataBase, tnLabel, tnGoto,
    tnFinish, tnRestart, tnBlock, tnIf, tnTrue, tnFalse, tnSwitch, tnCase, tnDefault, tnWhile, tnDateTime,
    tnOperator, tnString, tnDBOperate, tnField, tnParam, tnCommand, tnTextFile, tnInitFile, tnExecute,
    tnPlay, tnRecord, tnSleep, tnSpeech, tnRing, tnCall, tnGateway, tnAnswer, tnSpeakerPhone, tnSendDTMF,
    tnReceiveDTMF;
// Node-caption marks.
extern QString Colon;      // " : "
extern QString BreakMark;  // "* "
extern QString RunMark;    // "->"
extern QString NoteOpen;   // " {"
extern QString NoteClose;  // "} "
extern QString Null;       // "Null"
extern QString InitValue, NoLabel, NoVariant, NoOperate, NewVariant, NewDataBase, NewLabel;
extern QString NumberFormatError, QuoteHint, NotTTSHint;
extern QString Error, ErrorContent, Continue, About, Version, Ok, Cancel, Help;
extern QString HelpRoot, StatementHelpRoot;  // set by the programs at start-up
extern QStringList ResultNames, ResultMessages, CommandTypeNames;
}  // namespace txt
