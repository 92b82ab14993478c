#!/usr/bin/env python3
"""Writes the local manual that Help -> Help opens: one HTML page made of the
README and the manual pages.

    make-manual.py OUT.html README.md PAGE.1...

Only the Markdown and roff that these documents use is understood: headings,
paragraphs, lists, tables and fenced code; .TH .SH .SS .PP .TP .RS .RE .EX
.EE .br and the font macros, with \\- \\(lq \\(rq \\& \\e \\fB \\fI \\fR \\fP.
"""
import html
import re
import sys


def inline_markdown(text):
    out = []
    # Code spans first, so that nothing inside them is read as markup.
    for i, part in enumerate(re.split(r"(`[^`]*`)", text)):
        if i % 2:
            out.append("<code>" + html.escape(part[1:-1]) + "</code>")
            continue
        part = html.escape(part)
        part = re.sub(r"\*\*(.+?)\*\*", r"<strong>\1</strong>", part)
        part = re.sub(r"(?<![\w*])\*(?!\s)(.+?)\*(?![\w*])", r"<em>\1</em>", part)
        part = re.sub(r"\[([^\]]+)\]\(([^)\s]+)\)", r'<a href="\2">\1</a>', part)
        out.append(part)
    return "".join(out)


def markdown(text):
    out, para, lines = [], [], text.splitlines()
    in_list = None

    def flush():
        nonlocal in_list
        if para:
            out.append("<p>" + inline_markdown(" ".join(para)) + "</p>")
            para.clear()
        if in_list:
            out.append("</%s>" % in_list)
            in_list = None

    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            flush()
            code = []
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                code.append(lines[i])
                i += 1
            out.append("<pre>" + html.escape("\n".join(code)) + "</pre>")
        elif line.startswith("    ") and not para and not in_list:
            code = []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                code.append(lines[i][4:])
                i += 1
            while code and not code[-1].strip():
                code.pop()
            out.append("<pre>" + html.escape("\n".join(code)) + "</pre>")
            continue
        elif re.match(r"#{1,6} ", line):
            flush()
            level = len(line) - len(line.lstrip("#"))
            out.append("<h%d>%s</h%d>" % (level + 1, inline_markdown(line[level:].strip()), level + 1))
        elif line.startswith("|") and i + 1 < len(lines) and re.match(r"\|[\s:|-]+\|$", lines[i + 1].strip()):
            flush()
            row = lambda l: [c.strip() for c in l.strip().strip("|").split("|")]
            out.append("<table><tr>" + "".join("<th>%s</th>" % inline_markdown(c) for c in row(line)) + "</tr>")
            i += 2
            while i < len(lines) and lines[i].startswith("|"):
                out.append("<tr>" + "".join("<td>%s</td>" % inline_markdown(c) for c in row(lines[i])) + "</tr>")
                i += 1
            out.append("</table>")
            continue
        elif re.match(r"\s*([-*]|\d+\.) ", line):
            kind = "ol" if re.match(r"\s*\d+\.", line) else "ul"
            if para:
                out.append("<p>" + inline_markdown(" ".join(para)) + "</p>")
                para.clear()
            if in_list != kind:
                if in_list:
                    out.append("</%s>" % in_list)
                out.append("<%s>" % kind)
                in_list = kind
            item = [re.sub(r"\s*([-*]|\d+\.) ", "", line, count=1)]
            while i + 1 < len(lines) and lines[i + 1].startswith("  ") and lines[i + 1].strip():
                i += 1
                item.append(lines[i].strip())
            out.append("<li>" + inline_markdown(" ".join(item)) + "</li>")
        elif not line.strip():
            flush()
        else:
            if in_list:
                out.append("</%s>" % in_list)
                in_list = None
            para.append(line.strip())
        i += 1
    flush()
    return "\n".join(out)


ESCAPES = {r"\-": "-", r"\(lq": "\u201c", r"\(rq": "\u201d", r"\&": "", r"\e": "\\", r"\ ": " "}


def roff_text(text):
    """Escapes and inline font changes of one line, as HTML."""
    out, font = [], None
    for part in re.split(r"(\\f[BIRP]|\\-|\\\(lq|\\\(rq|\\&|\\e|\\ )", text):
        if part in ESCAPES:
            out.append(html.escape(ESCAPES[part]))
        elif part.startswith("\\f"):
            if font:
                out.append("</%s>" % font)
            font = {"B": "b", "I": "i"}.get(part[2])
            if font:
                out.append("<%s>" % font)
        else:
            out.append(html.escape(part))
    if font:
        out.append("</%s>" % font)
    return "".join(out)


def roff_words(args):
    words = re.findall(r'"[^"]*"|\S+', args)
    return [w[1:-1] if w.startswith('"') else w for w in words]


def font_macro(macro, args):
    tags = {"B": "b", "I": "i", "R": None}
    words = roff_words(args)
    if len(macro) == 1:
        tag = tags[macro]
        text = roff_text(" ".join(words))
        return "<%s>%s</%s>" % (tag, text, tag)
    out = []
    for n, word in enumerate(words):
        tag = tags[macro[n % 2]]
        out.append("<%s>%s</%s>" % (tag, roff_text(word), tag) if tag else roff_text(word))
    return "".join(out)


def man_page(text):
    out, para, pre = [], [], None
    tagged = False  # the next text line is a .TP tag

    def flush():
        if para:
            out.append("<p>" + " ".join(para) + "</p>")
            para.clear()

    for line in text.splitlines():
        if pre is not None:
            if line.startswith(".EE"):
                out.append("<pre>" + "\n".join(pre) + "</pre>")
                pre = None
            else:
                pre.append(roff_text(line))
            continue
        if line.startswith(".\\\"") or line.startswith("'\\\""):
            continue
        m = re.match(r"\.(\w+)\s*(.*)", line)
        macro, args = (m.group(1), m.group(2)) if m else (None, line)
        if macro == "TH":
            words = roff_words(args)
            out.append("<h2 id=\"%s\">%s(%s)</h2>" % (html.escape(words[0].lower()), html.escape(words[0].lower()),
                                                       html.escape(words[1] if len(words) > 1 else "")))
            continue
        if macro in ("SH", "SS"):
            flush()
            out.append("<h%d>%s</h%d>" % (3 if macro == "SH" else 4, roff_text(" ".join(roff_words(args))),
                                          3 if macro == "SH" else 4))
            continue
        if macro in ("PP", "P", "LP"):
            flush()
            continue
        if macro == "TP":
            flush()
            tagged = True
            continue
        if macro == "RS":
            flush()
            out.append("<div class=\"indent\">")
            continue
        if macro == "RE":
            flush()
            out.append("</div>")
            continue
        if macro == "EX":
            flush()
            pre = []
            continue
        if macro == "br":
            para.append("<br>")
            continue
        if macro in ("B", "I", "BR", "RB", "IR", "RI", "BI", "IB"):
            piece = font_macro(macro, args)
        elif macro:
            continue  # a macro these pages do not need
        else:
            piece = roff_text(line)
        if tagged:
            out.append("<dl><dt>" + piece + "</dt></dl>")
            tagged = False
        else:
            para.append(piece)
    flush()
    return "\n".join(out)


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    out_path, readme, pages = argv[1], argv[2], argv[3:]
    parts = [markdown(open(readme, encoding="utf-8").read())]
    for page in pages:
        parts.append(man_page(open(page, encoding="utf-8").read()))
    body = "\n<hr>\n".join(parts)
    document = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Tarnwick manual</title>
<style>
body { font-family: sans-serif; max-width: 60em; margin: 1em auto; padding: 0 1em; line-height: 1.4; }
pre, code { font-family: monospace; background: #f4f4f4; }
pre { padding: .5em; overflow-x: auto; }
table { border-collapse: collapse; } th, td { border: 1px solid #ccc; padding: .2em .5em; text-align: left; }
dl { margin: .6em 0 0; } dl + p, dl + p + p { margin: .2em 0 .6em 2em; } .indent { margin-left: 2em; }
</style></head>
<body>
%s
</body></html>
""" % body
    with open(out_path, "w", encoding="utf-8") as f:
        f.write(document)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
