#pragma once

#include <string>
#include <string_view>

// The suite's HTML pages (the filed return, the sign-off page) are built for a full browser
// engine; Qt's rich-text engine understands a subset of HTML and CSS, so the markup is adapted
// at print time and the document text itself stays as built.

// The markup Qt's rich-text engine renders as a browser would render `html`: the shorthand
// `border` becomes border-style, border-width and border-color; percentage widths move from the
// style sheet into width attributes of the matching table and cells; percentage padding becomes
// pixels; tables get cellspacing="0". Everything outside style sheets, table and cell start tags
// is unchanged.
std::string AdaptHtmlForPrinting(std::string_view html);
