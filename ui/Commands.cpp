#include "Commands.h"

namespace lurvik {

namespace {

const CommandInfo kCommands[] = {
    {CmdOpenInBrowser, "&Open in Browser", "Open current object in a Web Browser", "", true},
    {CmdOpenLink, "&Open in browser...", "Open current object in a Web Browser", "", true},
    {CmdSaveLinkAs, "&Save link as...", "Save this link as a file", "", true},
    {CmdLurvikLink, "&Lurvik link", "lurvik selected item", "", true},
    {CmdExit, "E&xit", "Quit Lurvik", "", true},
    {CmdHelpTopics, "&Help Topics", "Displays the help table of contents", "F1", true},
    {CmdAbout, "&About Lurvik", "About Lurvik", "", true},
    {CmdSelectAll, "Select &All", "Selects all text", "Ctrl+A", true},
    {CmdFind, "&Find...", "Find", "Ctrl+F", true},
    {CmdProperties, "Pr&operties...", "Properties", "", true},
    {CmdOptions, "&Options...", "Lurvik configuration", "", true},
    {CmdOpenSite, "&Open Site...", "Open New URL", "Ctrl+O", true},
    {CmdLargeIcons, "Lar&ge Icons", "Large Icons", "", true},
    {CmdSmallIcons, "S&mall Icons", "Small Icons", "", true},
    {CmdList, "&List", "List", "", true},
    {CmdDetails, "&Details", "Details", "", true},
    {CmdHtmlSource, "&HTML Source", "HTML Source", "", true},
    {CmdReadme, "&Readme...", "Read the current release readme", "", true},
    {CmdRemoveAll, "&Remove All", "Remove all sites", "", true},
    {CmdCollapseAll, "Co&llapse All", "Collapse all children", "", true},
    {CmdExpandAll, "&Expand All", "Expand all children", "", true},
    {CmdJumpToOriginal, "&Jump to Original", "Jump to original item", "", true},
    {CmdPrint, "&Print...", "Print", "Ctrl+P", true},
    {CmdCopyLinkPath, "&Copy link path", "Copy", "", true},
    {CmdReloadSite, "&Reload Site", "Reload selected item", "", true},
    {CmdSortByLink, "by &Link", "Sort items by link name", "", true},
    {CmdSortByType, "by &Type", "Sort items by URL type", "", true},
    {CmdSortByUrl, "by &URL", "Sort items by URL name", "", true},
    {CmdSaveAs, "Save &As...", "Save current tree as...", "", true},
    {CmdTechSupport, "&Tech Support", "Email Orvanne Software's technical support department", "", true},
    {CmdMailingList, "&Mailing List", "Subscribe to the Lurvik mailing list", "", true},
    {CmdWebSite, "&Web Site", "Open Orvanne Software's web site", "", true},
    {CmdStop, "S&top", "Stop", "Esc", true},
    {CmdGoToPage, "&Go To Page...", "Go to a specific page title", "Ctrl+G", true},
    {CmdOpenMap, "Open &Map...", "Open SiteMap", "", true},
    {CmdImportWarc, "&Import WARC...", "Build the site tree from a crawler's WARC archives", "", true},
    {CmdCompareMap, "Compare &with Map...", "Show what changed from a saved site map to the sites on screen",
     "", true},
    {CmdPageSetup, "Page Set&up", "Page Setup", "", true},
    {CmdSaveMap, "&Save Map...", "Save SiteMap", "", true},
    {CmdSuggestions, "&Suggestions", "Email a suggestion to Orvanne Softare, Inc.", "", true},
    {CmdFaq, "&Frequently Asked Questions...", "Check out the most Frequently Asked Questions", "", true},
    {CmdFindWizard, "Find &Wizard...", "Find Wizard", "Ctrl+W", true},
    {CmdScheduler, "&Scheduler...", "Scheduler", "Ctrl+S", true},
    {CmdRemoveSite, "Remove &Site", "Remove current selection", "", true},
    {CmdShowHtmlTags, "Show HTML &Tags", "", "", true},
    {CmdCopyPagePath, "&Copy link path", "Copy", "", true},
    {CmdCopy, "&Copy", "Copy", "Ctrl+C", true},
    {CmdGetNow, "&Get Now!", "Get selected item now", "", true},
};

} // namespace

const CommandInfo* findCommand(int id) {
    for (const CommandInfo& command : kCommands)
        if (command.id == id)
            return &command;
    return nullptr;
}

} // namespace lurvik
