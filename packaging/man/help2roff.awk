# Turns a program's --help text into the synopsis and description of a manual page and fills them
# into a roff template: the line @SYNOPSIS@ becomes the synopsis, the line @HELP@ the description,
# and @VERSION@, @DATE@ and @DATADIR@ anywhere become the version, the date and the data folder.
#   awk -v template=FILE -v version=V -v date=D -v datadir=DIR -f help2roff.awk HELP-TEXT
#
# The help text is read as:
#   "usage: PROGRAM ARGS..." and lines indented five or more     the synopsis
#   spaces right under it
#   an unindented line ending in ":"                             a subsection heading; a remark in
#                                                                parentheses becomes its first paragraph
#   "  TERM  DESCRIPTION" (two or more spaces between), "  TERM"  an entry (term in a hanging list)
#   a line indented deeper than the entries                      a further line of the entry, kept as a line
#   anything else                                                paragraph text; a blank line ends a paragraph
# Entries before any heading whose terms start with "-" go under an "Options" heading.

# Text safe for roff: backslashes and hyphens escaped, no control character at the start.
function esc(s,    out, i, c) {
    out = ""
    for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "\\")
            out = out "\\e"
        else if (c == "-")
            out = out "\\-"
        else
            out = out c
    }
    if (out ~ /^[.']/)
        out = "\\&" out
    return out
}

# A term with its first word in bold.
function bold_first(t,    sp) {
    sp = index(t, " ")
    if (sp == 0)
        return "\\fB" esc(t) "\\fR"
    return "\\fB" esc(substr(t, 1, sp - 1)) "\\fR" esc(substr(t, sp))
}

function emit(s) {
    help = help s "\n"
}

function leading_spaces(s) {
    match(s, /^ */)
    return RLENGTH
}

BEGIN {
    help = ""; synopsis = ""; in_synopsis = 0; in_paragraph = 0; in_entry = 0
    entry_indent = -1; headed = 0
}

{
    line = $0
    sub(/[ \t\r]+$/, "", line)

    if (line ~ /^[Uu]sage: /) {
        sub(/^[Uu]sage: +/, "", line)
        synopsis = line
        in_synopsis = 1
        next
    }
    if (in_synopsis && line ~ /^     +[^ ]/) {
        sub(/^ +/, "", line)
        synopsis = synopsis " " line
        next
    }
    in_synopsis = 0

    if (line == "") {
        in_paragraph = 0
        in_entry = 0
        next
    }

    if (line ~ /^[^ ].*:$/) {
        heading = substr(line, 1, length(line) - 1)
        remark = ""
        open = index(heading, " (")
        if (open > 0 && heading ~ /\)$/) {
            remark = substr(heading, open + 2, length(heading) - open - 2)
            heading = substr(heading, 1, open - 1)
        }
        emit(".SS \"" esc(heading) "\"")
        if (remark != "")
            emit(esc(toupper(substr(remark, 1, 1)) substr(remark, 2) "."))
        headed = 1; in_paragraph = 0; in_entry = 0
        next
    }

    indent = leading_spaces(line)
    if (indent > 0) {
        text = substr(line, indent + 1)
        if (in_entry && indent > entry_indent) {
            emit(".br")
            emit(esc(text))
            next
        }
        if (entry_indent < 0)
            entry_indent = indent
        gap = index(text, "  ")
        if (gap > 0) {
            item = substr(text, 1, gap - 1)
            description = substr(text, gap)
            sub(/^ +/, "", description)
        } else {
            item = text
            description = ""
        }
        if (!headed && item ~ /^-/) {
            emit(".SS Options")
            headed = 1
        }
        emit(".TP")
        emit(bold_first(item))
        if (description != "")
            emit(esc(description))
        in_entry = 1; in_paragraph = 0
        next
    }

    if (!in_paragraph)
        emit(".PP")
    emit(esc(line))
    in_paragraph = 1; in_entry = 0
}

END {
    while ((getline t < template) > 0) {
        if (t == "@SYNOPSIS@") {
            if (synopsis != "")
                print bold_first(synopsis)
        } else if (t == "@HELP@") {
            printf "%s", help
        } else {
            gsub(/@VERSION@/, version, t)
            gsub(/@DATE@/, date, t)
            gsub(/@DATADIR@/, datadir, t)
            print t
        }
    }
    close(template)
}
