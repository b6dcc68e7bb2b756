#include "ResultsExport.h"

#include "core/OutputFrogFile.h"

namespace lurvik {

int exportResultsHtml(const std::vector<const LinkRecord*>& rows, const Str& fileName) {
    OutputFrogFile file;
    if (file.open(fileName.view()) != 0 || !file.isOpen())
        return 1;
    Str out("<HTML><TITLE>Lurvik Find Results</TITLE><BODY>\r\n<H2><A HREF=");
    out.cat(kMakerWebAddress);
    out.cat(">Lurvik</A> Find Results</H2>\r\n");
    Str url;
    for (const LinkRecord* row : rows) {
        if (!row)
            break;
        row->url.getURLString(url, 1);
        out.cat("<LI><A HREF=");
        out.cat(url.view());
        out.cat(">");
        bool unsafe = row->text.view().find_first_of("<>") != std::string_view::npos;
        out.cat(unsafe ? std::string_view("<I>No Title</I>") : row->text.view());
        out.cat("</A>\r\n");
    }
    out.cat("</BODY></HTML>\r\n");
    if (file.write(out) != 0)
        return 1;
    return file.close() != 0 ? 1 : 0;
}

} // namespace lurvik
