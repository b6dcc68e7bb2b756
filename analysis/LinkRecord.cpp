#include "LinkRecord.h"

#include "FileTypeTable.h"
#include "core/Utf8.h"

namespace lurvik {

namespace {

// text as a record keeps it: cut to the engine's maxLinkText, ending in "...".
SharedText cutText(const Str& text) {
    int maxLinkText = theLinkEnvironment ? theLinkEnvironment->maxLinkText : 45;
    // Characters, not bytes: a cut must never split a UTF-8 sequence.
    if (maxLinkText >= 4 && utf8Length(text.view()) > maxLinkText) {
        std::string cut(text.view().substr(0, utf8Prefix(text.view(), maxLinkText - 3)));
        return SharedText(cut + "...");
    }
    return SharedText(text.view());
}

} // namespace

LinkRecord::LinkRecord(int kind, const URL& url, const Str& text, TypeNoted noted)
    : LinkRecord(kind, url, cutText(text), noted) {}

LinkRecord::LinkRecord(int kind, const URL& url, const SharedText& text, TypeNoted noted)
    : kind(kind >= LINK_HTTP && kind <= LINK_FILE ? LINK_HYPERLINK : kind), url(url), text(text) {
    if (theLinkEnvironment && noted == TypeNoted::Not)
        theLinkEnvironment->typeTable.noteFileType(*this);
}

int LinkRecord::effectiveKind() const {
    if (kind != LINK_HYPERLINK)
        return kind;
    switch (url.getType()) {
    case URL::Http:
        return LINK_HTTP;
    case URL::File:
        return LINK_FILE;
    case URL::Ftp:
        return LINK_FTP;
    case URL::Gopher:
        return LINK_GOPHER;
    case URL::News:
        return LINK_NEWS;
    case URL::Mail:
        return LINK_MAIL;
    default:
        return LINK_HYPERLINK;
    }
}

void LinkRecord::typeName(Str& out) const {
    int effective = effectiveKind();
    if (effective == LINK_HTTP || effective == LINK_IMAGE) {
        Str iconFile;
        int icon = 0;
        if (theLinkEnvironment &&
            theLinkEnvironment->typeTable.lookupFileType(*this, out, iconFile, icon) == 0 && !out.isEmpty())
            return;
        if (effective == LINK_HTTP && theLinkEnvironment && theLinkEnvironment->typeTable.isHtmlPage(url)) {
            out = "Html Page";
            return;
        }
        out = effective == LINK_HTTP ? "Unknown" : "Image";
        return;
    }
    switch (effective) {
    case LINK_FTP:
        out = "Ftp";
        return;
    case LINK_MAIL:
        out = "Mail";
        return;
    case LINK_NEWS:
        out = "News";
        return;
    case LINK_GOPHER:
        out = "Gopher";
        return;
    case LINK_FILE:
        out = "File";
        return;
    case LINK_IMAGEMAP:
        out = "ImageMap";
        return;
    case LINK_APPLET:
        out = "Java Applet";
        return;
    case LINK_FRAME:
        out = "Frame";
        return;
    case LINK_ACTIVEX:
        out = "ActiveX";
        return;
    case LINK_SCRIPT:
        out = "Script";
        return;
    case LINK_STYLESHEET:
        out = "Stylesheet";
        return;
    case LINK_ICON:
        out = "Icon";
        return;
    case LINK_IFRAME:
        out = "Inline Frame";
        return;
    case LINK_MEDIA:
        out = "Media";
        return;
    case LINK_EMBED:
        out = "Embedded Object";
        return;
    case LINK_RESOURCE:
        out = "Resource";
        return;
    case LINK_REFRESH:
        out = "Refresh";
        return;
    default:
        out = "Unknown";
        return;
    }
}

int LinkRecord::iconIndex() const {
    switch (effectiveKind()) {
    case LINK_HTTP: {
        int index = 0;
        if (theLinkEnvironment && theLinkEnvironment->typeTable.imageIndexForURL(url, index) == 0 &&
            index >= 1)
            return index;
        return 1;
    }
    case LINK_FTP:
        return 3;
    case LINK_MAIL:
        return 6;
    case LINK_NEWS:
        return 5;
    case LINK_GOPHER:
        return 4;
    case LINK_FILE:
        return 2;
    case LINK_IMAGE:
        return 7;
    case LINK_IMAGEMAP:
        return 8;
    case LINK_APPLET:
        return 9;
    case LINK_FRAME:
        return 10;
    case LINK_ACTIVEX:
    case LINK_EMBED:
        return 11;
    case LINK_ICON:
    case LINK_MEDIA:
        return 7;
    case LINK_IFRAME:
        return 10;
    case LINK_REFRESH:
        return 1;
    case LINK_SCRIPT:
    case LINK_STYLESHEET:
    case LINK_RESOURCE:
        return 2;
    default:
        return 0;
    }
}

bool LinkRecord::isHtmlLink() const {
    return (kind == LINK_HYPERLINK || kind == LINK_IMAGEMAP || kind == LINK_FRAME || kind == LINK_IFRAME ||
            kind == LINK_REFRESH) &&
           url.isHtml();
}

int storedKind(int kind) {
    switch (kind) {
    case LINK_IFRAME:
        return LINK_FRAME;
    case LINK_REFRESH:
        return LINK_HYPERLINK;
    case LINK_EMBED:
        return LINK_ACTIVEX;
    default:
        return isResourceKind(kind) ? LINK_IMAGE : kind;
    }
}

const char* linkKindName(int kind) {
    switch (kind) {
    case LINK_HTTP:
        return "http";
    case LINK_FTP:
        return "ftp";
    case LINK_MAIL:
        return "mail";
    case LINK_NEWS:
        return "news";
    case LINK_GOPHER:
        return "gopher";
    case LINK_FILE:
        return "file";
    case LINK_IMAGE:
        return "image";
    case LINK_IMAGEMAP:
        return "imagemap";
    case LINK_APPLET:
        return "applet";
    case LINK_FRAME:
        return "frame";
    case LINK_ACTIVEX:
        return "activex";
    case LINK_SCRIPT:
        return "script";
    case LINK_STYLESHEET:
        return "stylesheet";
    case LINK_ICON:
        return "icon";
    case LINK_IFRAME:
        return "iframe";
    case LINK_MEDIA:
        return "media";
    case LINK_EMBED:
        return "object";
    case LINK_RESOURCE:
        return "resource";
    case LINK_REFRESH:
        return "refresh";
    default:
        return "link";
    }
}

} // namespace lurvik
