#pragma once

namespace lurvik {

// Every command of the main window has one number, which names its menu item, its toolbar
// button, its status-bar help and its tooltip at once.
enum CommandId {
    CmdOpenInBrowser = 30001,
    CmdOpenLink = 30002,
    CmdSaveLinkAs = 117,
    CmdLurvikLink = 119,
    CmdExit = 40001,
    CmdHelpTopics = 40002,
    CmdAbout = 40003,
    CmdSelectAll = 40012,
    CmdFind = 40014,
    CmdProperties = 40015,
    CmdOptions = 40016,
    CmdOpenSite = 40020,
    CmdLargeIcons = 40022,
    CmdSmallIcons = 40023,
    CmdList = 40024,
    CmdDetails = 40025,
    CmdHtmlSource = 40026,
    CmdReadme = 40028,
    CmdRemoveAll = 40032,
    CmdCollapseAll = 40033,
    CmdExpandAll = 40034,
    CmdJumpToOriginal = 40035,
    CmdPrint = 40039,
    CmdCopyLinkPath = 40040,
    CmdReloadSite = 40041,
    CmdSortByLink = 40042,
    CmdSortByType = 40043,
    CmdSortByUrl = 40044,
    CmdSaveAs = 40104,
    CmdTechSupport = 40109,
    CmdMailingList = 40112,
    CmdWebSite = 40113,
    CmdStop = 40114,
    CmdGoToPage = 40115,
    CmdOpenMap = 40118,
    CmdPageSetup = 40119,
    CmdSaveMap = 40123,
    CmdSuggestions = 40124,
    CmdFaq = 40125,
    CmdFindWizard = 40129,
    CmdScheduler = 40136,
    CmdRemoveSite = 40200,
    CmdShowHtmlTags = 40201,
    CmdCopyPagePath = 40202,
    CmdCopy = 40203,
    // Beyond the original: archives of other crawlers.
    CmdImportWarc = 40204,
    // Beyond the original: what changed since an earlier crawl.
    CmdCompareMap = 40205,
    CmdGetNow = 59393,
};

struct CommandInfo {
    int id;
    const char* menuText; // with its "&" mnemonic
    const char* helpText; // status-bar help and tooltip
    const char* shortcut; // empty when none
    // False while the window, dialog or report the command opens is not part of the program yet:
    // such a command stays greyed rather than pretend to work.
    bool available;
};

// Null for an unknown number.
const CommandInfo* findCommand(int id);

} // namespace lurvik
