// How the relay's XML writers lay out a document.
#pragma once

enum class XMLLayout {
    // A line break before every start tag, indented by one tab per enclosing element; an end tag that
    // follows an end tag goes on a line of its own at its element's depth.
    Indented,
    // The same line breaks, without indentation.
    LineBreaks,
    // No line breaks at all.
    SingleLine,
};
