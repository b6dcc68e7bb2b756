#include "ObjectTypes.h"

#include "analysis/LinkRecord.h"

namespace lurvik {

namespace {

struct ObjectTypeEntry {
    const char* text;
    int kind;
};

constexpr ObjectTypeEntry kObjectTypes[kFixedObjectTypes] = {
    {"All pages", 0},
    {"Invalid pages", 0},
    {"All links", 0},
    {"FTP links", LINK_FTP},
    {"HTTP links", LINK_HTTP},
    {"Images", LINK_IMAGE},
    {"ImageMap links", LINK_IMAGEMAP},
    {"News links", LINK_NEWS},
    {"Mail links", LINK_MAIL},
    {"Gopher links", LINK_GOPHER},
    {"Frames", LINK_FRAME},
    {"Java Applets", LINK_APPLET},
    {"ActiveX controls", LINK_ACTIVEX},
};

// The Find window's order, which is not the order of the kinds.
constexpr ObjectTypeEntry kContentTypes[kFixedContentTypes] = {
    {"FTP links", LINK_FTP},   {"Images", LINK_IMAGE},        {"ImageMaps", LINK_IMAGEMAP},
    {"News links", LINK_NEWS}, {"Mail links", LINK_MAIL},     {"Gopher links", LINK_GOPHER},
    {"Frames", LINK_FRAME},    {"Java Applets", LINK_APPLET}, {"ActiveX controls", LINK_ACTIVEX},
};

constexpr const char* kOpTexts[] = {"=", "<", "<=", ">", ">=", "<>"};
constexpr const char* kOpLongTexts[] = {"equal to (=)",
                                        "less than (<)",
                                        "less than or equal to (<=)",
                                        "greater than (>)",
                                        "greater than or equal to (>=)",
                                        "not equal to (<>)"};

} // namespace

const char* objectTypeText(int index) {
    return index >= 0 && index < kFixedObjectTypes ? kObjectTypes[index].text : nullptr;
}

int objectTypeKind(int index) {
    return index >= 0 && index < kFixedObjectTypes ? kObjectTypes[index].kind : 0;
}

const char* fixedContentTypeName(int i) {
    return i >= 0 && i < kFixedContentTypes ? kContentTypes[i].text : nullptr;
}

int contentTypeKind(std::string_view name) {
    for (const ObjectTypeEntry& entry : kContentTypes)
        if (name == entry.text)
            return entry.kind;
    return 0;
}

const char* compareOpText(int op) {
    return op >= 0 && op < 6 ? kOpTexts[op] : nullptr;
}

const char* compareOpLongText(int op) {
    return op >= 0 && op < 6 ? kOpLongTexts[op] : nullptr;
}

} // namespace lurvik
