#pragma once

#include "core/Str.h"

#include <string_view>

namespace lurvik {

// The object types a search can look for, by their position in the type choice list. Positions
// 3 to 12 each stand for one link kind; from kFirstFileTypeIndex on, the list holds the file
// type names of the type table, and the chosen name itself is the criterion.
enum ObjectType {
    OBJECT_ALL_PAGES = 0,
    OBJECT_INVALID_PAGES = 1,
    OBJECT_ALL_LINKS = 2,
    OBJECT_FTP_LINKS = 3,
    OBJECT_HTTP_LINKS = 4,
    OBJECT_IMAGES = 5,
    OBJECT_IMAGEMAP_LINKS = 6,
    OBJECT_NEWS_LINKS = 7,
    OBJECT_MAIL_LINKS = 8,
    OBJECT_GOPHER_LINKS = 9,
    OBJECT_FRAMES = 10,
    OBJECT_JAVA_APPLETS = 11,
    OBJECT_ACTIVEX_CONTROLS = 12,
};
constexpr int kFixedObjectTypes = 13;
constexpr int kFirstFileTypeIndex = kFixedObjectTypes;

// The text the type choice list shows at index (0 to 12); null for any other index.
const char* objectTypeText(int index);
// The link kind (effectiveKind) that object types 3 to 12 stand for; 0 for the others.
int objectTypeKind(int index);

// The nine content types that test a link kind, in the order of the Find window's list.
constexpr int kFixedContentTypes = 9;
// The name of fixed content type i (0 to 8), in the Find window's order; null otherwise.
const char* fixedContentTypeName(int i);
// The link kind a content type name tests ("Images" 20 ...); 0 for a name that is not one of
// the nine, which then names a file type.
int contentTypeKind(std::string_view name);

// The operator texts: short as the Find window shows them ("<="), long as the wizard does.
// Null for a code that is not an operator.
const char* compareOpText(int op);
const char* compareOpLongText(int op);

} // namespace lurvik
