#include "channels/admintexts.h"

#include "engine/texts.h"

namespace adm {
QString AuthorizedChannels, Application, Applications, Address, Addresses, Group, Groups, Property, Reset,
    ResetAll, Name, State, Gateway, FlowFile;
QString mnuRun, mnuOperate, mnuView, mnuHelp, StartAll, Start, StopAll, ToolBar, StatusBar, ExplorBar, Visible,
    LargeIcons, SmallIcons, List, Details, New, Delete, Add, Remove, AddGroup, RemoveGroup, AddAddress,
    RemoveAddress;
QString ChannelRunning, RunError, AddressEmpty, GatewayEmpty, ApplicationEmpty, FlowFileEmpty, FlowFileNotExistent,
    AddressInUse, GatewayInUse;
QString SelectApplicationOrGroup, SelectApplication, SelectGroup, StateStop, StateWaitForCall, StateConnected,
    StateRunning,    FlowFileLabel, SelectFile, ApplicationLabel, ApplicationNameUsed, GroupNameUsed, InputFlowFile,
    StoreUnreadable;

namespace {

#define E(name, english, chinese) Entry{#name, &name, english, chinese}

const Entry entries[] = {
    E(AuthorizedChannels, "Authorized Channels", "授权通道"),
    E(Application, "Application", "应用流程"),
    E(Applications, "Applications", "应用流程"),
    E(Address, "Address", "设备地址"),
    E(Addresses, "Addresses", "设备地址"),
    E(Group, "Group", "设备组"),
    E(Groups, "Groups", "设备组"),
    E(Property, "&Property", "属性(&P)"),
    E(Reset, "&Reset", "重置(&R)"),
    E(ResetAll, "Reset &All", "全部重置(&A)"),
    E(Name, "Name", "名称"),
    E(State, "State", "运行状态"),
    E(Gateway, "Gateway", "网关地址"),
    E(FlowFile, "Flow File", "流程文件"),
    E(mnuRun, "&Run", "运行(&R)"),
    E(mnuOperate, "&Operate", "操作(&O)"),
    E(mnuView, "&View", "查看(&V)"),
    E(mnuHelp, "&Help", "帮助(&H)"),
    E(StartAll, "Start &All", "全部开始(&A)"),
    E(Start, "&Start", "开始(&S)"),
    E(StopAll, "Stop A&ll", "全部停止(&L)"),
    E(ToolBar, "&ToolBar", "工具栏(&T)"),
    E(StatusBar, "&StatusBar", "状态栏(&S)"),
    E(ExplorBar, "&ExplorBar", "浏览栏(&E)"),
    E(Visible, "&Visible", "显示(&V)"),
    E(LargeIcons, "Lar&ge Icons", "大图标(&G)"),
    E(SmallIcons, "S&mall Icons", "小图标(&M)"),
    E(List, "&List", "列表(&L)"),
    E(Details, "&Details", "详细资料(&D)"),
    E(New, "&New...", "新建(&N)..."),
    E(Delete, "&Delete", "删除(&D)"),
    E(Add, "&Add..", "加入(&A).."),
    E(Remove, "Remove", "移去(&R)"),
    E(AddGroup, "Add &Group...", "加入设备组(&G)..."),
    E(RemoveGroup, "Remove G&roup", "移去设备组(&R)"),
    E(AddAddress, "Add &Address...", "加入设备(&A)..."),
    E(RemoveAddress, "Remove A&ddress", "移去设备(&D)"),
    E(ChannelRunning, " channel is running，please first stop.", " 通道正在运行，请先停止再设置"),
    E(RunError, "run error:", "运行错误："),
    E(AddressEmpty, "Address is empty.", "没有设置设备地址"),
    E(GatewayEmpty, "Gateway is empty.", nullptr),
    E(ApplicationEmpty, ", Application is empty.", "，没有设置应用流程"),
    E(FlowFileEmpty, ", FlowFile of Application is empty.", "，应用流程没有设置流程文件"),
    E(FlowFileNotExistent, ", FlowFile is not existent.", "，流程文件不存在"),
    E(AddressInUse, "  is running by another channel.", "  正被另一通道运行"),
    E(GatewayInUse, "  is running as Gateway by another channel.", "  正被另一通道作为网关运行"),
    E(SelectApplicationOrGroup, "Please select Application or Group", "请选择应用流程或设备组"),
    E(SelectApplication, "Please select Application", "请选择应用流程"),
    E(SelectGroup, "Please select Group", "请选择设备组"),
    E(StateStop, "Stop", "停止"),
    E(StateWaitForCall, "Wait For Call", "等候呼叫"),
    E(StateConnected, "Connected", "已连接"),
    E(StateRunning, "Running", "运行中"),
    E(FlowFileLabel, "&Flow File: ", "流程文件(&F)："),
    E(SelectFile, "&Select File...", "选择流程(&S)..."),
    E(ApplicationLabel, "&Application: ", "应用流程(&A)："),
    E(ApplicationNameUsed, "Name has been used by another Application. ", "与其他应用流程重名"),
    E(GroupNameUsed, "Name has been used by another Group. ", "与其他设备组重名"),
    E(InputFlowFile, "Please input flow file", "请输入流程文件"),
    E(StoreUnreadable,
      "The configuration store \"%1\" could not be read:\r\n%2\r\n\r\nThe file is left as it is; nothing is written to it "
      "while the console runs.\r\nStart with what could be read? (No: start with nothing.)",
      "无法读取配置存储“%1”：\r\n%2\r\n\r\n该文件保持原样，控制台运行期间不会写入。\r\n"
      "是否使用已读取的内容启动？（否：不使用任何配置启动）"),
};

#undef E

}  // namespace

std::span<const Entry> allEntries() { return entries; }
}  // namespace adm

void setAdminTextLanguage(bool chinese)
{
    for (const adm::Entry& e : adm::entries)
        *e.text = QString::fromUtf8(chinese && e.chinese ? e.chinese : e.english);
}

void initAdminTexts() { setAdminTextLanguage(IsChinese); }
