#pragma once

#include <QString>

#include <span>

// The console's own captions and messages, on top of the engine's text tables. Each entry is one
// global text read by its name; several entries share a Chinese text ("Application" and
// "Applications"), so never look one up by its text. The English text stands beside each name.
namespace adm {
// Tree roots, list columns and dialog captions
extern QString AuthorizedChannels;        // "Authorized Channels"
extern QString Application;               // "Application"
extern QString Applications;              // "Applications"
extern QString Address;                   // "Address"
extern QString Addresses;                 // "Addresses"
extern QString Group;                     // "Group"
extern QString Groups;                    // "Groups"
extern QString Property;                  // "&Property"
extern QString Reset;                     // "&Reset"
extern QString ResetAll;                  // "Reset &All"
extern QString Name;                      // "Name"
extern QString State;                     // "State"
extern QString Gateway;                   // "Gateway"
extern QString FlowFile;                  // "Flow File"
// Menu bar and commands
extern QString mnuRun;                    // "&Run"
extern QString mnuOperate;                // "&Operate"
extern QString mnuView;                   // "&View"
extern QString mnuHelp;                   // "&Help"
extern QString StartAll;                  // "Start &All"
extern QString Start;                     // "&Start"
extern QString StopAll;                   // "Stop A&ll"
extern QString ToolBar;                   // "&ToolBar"
extern QString StatusBar;                 // "&StatusBar"
extern QString ExplorBar;                 // "&ExplorBar"
extern QString Visible;                   // "&Visible"
extern QString LargeIcons;                // "Lar&ge Icons"
extern QString SmallIcons;                // "S&mall Icons"
extern QString List;                      // "&List"
extern QString Details;                   // "&Details"
extern QString New;                       // "&New..."
extern QString Delete;                    // "&Delete"
extern QString Add;                       // "&Add.."
extern QString Remove;                    // "Remove"
extern QString AddGroup;                  // "Add &Group..."
extern QString RemoveGroup;               // "Remove G&roup"
extern QString AddAddress;                // "Add &Address..."
extern QString RemoveAddress;             // "Remove A&ddress"
// Channel messages
extern QString ChannelRunning;            // " channel is running，please first stop." (full-width comma)
extern QString RunError;                  // "run error:"
extern QString AddressEmpty;              // "Address is empty."
extern QString GatewayEmpty;              // "Gateway is empty." (English in both languages)
extern QString ApplicationEmpty;          // ", Application is empty."
extern QString FlowFileEmpty;             // ", FlowFile of Application is empty."
extern QString FlowFileNotExistent;       // ", FlowFile is not existent."
extern QString AddressInUse;              // "  is running by another channel."
extern QString GatewayInUse;              // "  is running as Gateway by another channel."
// Dialog messages and captions
extern QString SelectApplicationOrGroup;  // "Please select Application or Group"
extern QString SelectApplication;         // "Please select Application"
extern QString SelectGroup;               // "Please select Group"
extern QString StateStop;                 // "Stop"
extern QString StateWaitForCall;          // "Wait For Call"
extern QString StateConnected;            // "Connected"
extern QString StateRunning;              // "Running" (a started channel whose flow does not wait for calls)
extern QString FlowFileLabel;             // "&Flow File: "
extern QString SelectFile;                // "&Select File..."
extern QString ApplicationLabel;          // "&Application: "
extern QString ApplicationNameUsed;       // "Name has been used by another Application. "
extern QString GroupNameUsed;             // "Name has been used by another Group. "
extern QString InputFlowFile;             // "Please input flow file"
extern QString StoreUnreadable;           // "The configuration store \"%1\" could not be read: ..." (%2 the reason; the question whether to start with what was read)

struct Entry {
    const char* name;
    QString* text;
    const char* english;
    const char* chinese;  // null: the English text in both languages
};
// Every entry in table order (for table-wide checks).
std::span<const Entry> allEntries();
}  // namespace adm

// Fills the console's table in the language the engine's tables chose (IsChinese); call after
// initTexts(). setAdminTextLanguage is for tests that switch the language.
void initAdminTexts();
void setAdminTextLanguage(bool chinese);
