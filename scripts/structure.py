#!/usr/bin/env python3
"""Measures the include/call structure of the analyzer (the C++ files in analyzer/) from a build.

    python3 scripts/structure.py BUILD_DIR        (scripts/structure.sh is the usual way in)

Every number comes from what is in the tree and the build at the time of the run: no file or
target names are built in. The analyzer's targets are the CMake target folders
BUILD/analyzer/CMakeFiles/*.dir; an object belongs to the analyzer when its name (X.cpp.o, as
CMake names it) matches a source analyzer/X.cpp of the build's source tree; generated objects
(Qt resources) count as outside code.

1. Call loop. File A -> file B when an object of A has an undefined symbol (nm class U) that
   B's object defines (any defined class; weak definitions only for symbols nobody defines
   strongly). Symbols defined by no analyzer object (libraries, other folders) are ignored.
   Strongly connected components (Tarjan) of this graph are the loops.
2. Include loop. Module = a file's path under analyzer/ without its extension, so X.h and X.cpp
   are one module; an edge per `#include "analyzer/..."` (or a quoted include that resolves
   beside the including file) between different modules.
3. Globals with more than one writing file. The globals are the data symbols the analyzer's
   objects define with external linkage in writable sections (.data*, .bss*, .tdata*, .tbss*,
   not .data.rel.ro*): nm classes D, B, V, S, C. Left out: names kXxx (constants), vtables,
   typeinfo, guard variables, function-local statics (the name carries a function's signature)
   and anonymous-namespace or file-static data (these are local symbols anyway).
   Writers are found by scanning the sources (analyzer/*.cpp and *.h) after removing comments,
   string and character literals and preprocessor lines. An unqualified occurrence of the
   global's last name component (not after `.` or `->`) is followed through subscripts, member
   accesses (`.*` too) and member calls; it is a write when
     - an assignment or compound assignment, `++` or `--` follows the expression, or `++`/`--`
       precedes it;
     - `&` takes its address (a pointer passed out or kept: `&rcu.level`, `GetCtrlVal(p, c,
       &start)`), including `&` ahead of a `*`-dereference;
     - a member function other than a known read-only one (size, empty, c_str, ...) is called
       on it (`list.push_back(x)`);
     - a non-const reference or pointer is bound to it (`T& r = vs[w];`, `for (auto& x : vs)`,
       `double* p = Rx;`);
     - it is passed where the callee writes: the output arguments of the std/C routines listed
       in OUT_ARGS (`std::copy(a, b, Rx)`, `memcpy(Rx, ...)`, `std::fill(...)`), or a parameter
       of a project function (any *.h/*.cpp of the source tree but tests/ and bench/) declared
       as a non-const pointer, array, reference or std::span;
     - a pointer into it (an array global used bare, `g.data()`, `g.begin()`) is stored
       (`sr.wpA = outf_ChA + n;`), returned, or handed to a function the scan does not know
       (neither a project function, nor std::, nor a C reader in C_READERS).
   Declarations (`RCU rcu = {...};`, `extern RCU rcu;`) are not writes. A local variable or
   parameter of the same name hides the global from its declaration to the end of its block
   (a file-static or anonymous-namespace one for the whole file). The scan errs on the side of
   counting a write: a local it fails to recognise as a declaration counts as the global.
   Several writes of one global on one line count as one write site.
   Other arguments of functions it knows nothing about (Qt, lambdas held in variables) are
   reads unless `&` is written.
4. Touches to add a measurement function / a data source (heuristics on the same stripped
   text): files naming the function table or its index tables (cf, funcmeas, fA, fB) or
   comparing a `function` member or variable with a number (==, !=, <, >, <=, >= and `case N:`
   of a switch on it); files comparing a `source` member or variable with a number.
5. Qt per target: Qt libraries on the link line (link.txt), Qt include folders on the compile
   line (flags.make) and the number of distinct Qt symbols the target's objects use.
"""
import collections
import os
import re
import subprocess
import sys


def die(msg):
    print("structure: " + msg, file=sys.stderr)
    sys.exit(2)


# ---------------------------------------------------------------------------------------------
# The build: analyzer targets and their objects

def read_text(path):
    if not os.path.isfile(path):
        return ""
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def cache_value(build, key):
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"^%s:[A-Z]+=(.*)$" % re.escape(key), line)
            if m:
                return m.group(1).strip()
    return None


def analyzer_targets(build, src):
    """{target: [(object path, source path relative to analyzer/ or None)]}."""
    base = os.path.join(build, "analyzer", "CMakeFiles")
    targets = {}
    for d in sorted(os.listdir(base)):
        if not d.endswith(".dir") or not os.path.isdir(os.path.join(base, d)):
            continue
        objs = []
        tdir = os.path.join(base, d)
        for root, _, files in os.walk(tdir):
            for f in sorted(files):
                if not f.endswith(".o"):
                    continue
                obj = os.path.join(root, f)
                rel = os.path.relpath(obj, tdir)[:-2]   # X.cpp
                source = rel if os.path.isfile(os.path.join(src, "analyzer", rel)) else None
                objs.append((obj, source))
        targets[d[:-4]] = objs
    return targets


def nm_symbols(obj):
    """[(mangled name, class letter, section)] from nm's System V format."""
    out = subprocess.run(["nm", "-f", "sysv", obj], capture_output=True, text=True)
    if out.returncode != 0:
        die("nm failed on %s: %s" % (obj, out.stderr.strip()))
    syms = []
    for line in out.stdout.splitlines():
        parts = line.split("|")
        if len(parts) < 7:
            continue
        name, value, cls, section = parts[0].strip(), parts[1].strip(), parts[2].strip(), \
            parts[6].strip()
        if not name or not cls:
            continue
        if cls in ("w", "v") and not value:
            cls = "U"   # an undefined weak reference
        syms.append((name, cls, section))
    return syms


def project_libraries(build):
    """{(library, member): [(name, class)]} for the project's own libraries in the build
    (static archives member by member, shared libraries by their dynamic symbols)."""
    members = {}
    for root, dirs, files in os.walk(build):
        dirs[:] = [d for d in dirs if d != "CMakeFiles" and not d.startswith(".")]
        for f in sorted(files):
            path = os.path.join(root, f)
            if f.endswith(".a"):
                cmd = ["nm", "-f", "sysv", path]
            elif re.search(r"\.so(\.\d+)*$", f) and not os.path.islink(path):
                cmd = ["nm", "-D", "-f", "sysv", path]
            else:
                continue
            out = subprocess.run(cmd, capture_output=True, text=True)
            lib = os.path.relpath(path, build)
            member = f
            for line in out.stdout.splitlines():
                m = re.match(r"^Symbols from .*\[(.+)\]:$", line)
                if m:
                    member = m.group(1)
                    continue
                parts = line.split("|")
                if len(parts) < 7 or not parts[0].strip() or not parts[2].strip():
                    continue
                cls = parts[2].strip()
                if cls in ("w", "v") and not parts[1].strip():
                    cls = "U"
                members.setdefault((lib, member), []).append((parts[0].strip(), cls))
    return members


def qt_through_libraries(wanted, own, libs, is_qt):
    """Follows undefined symbols into the project libraries as a linker would (symbols in own
    are the target's and not followed); returns the library members pulled in that use Qt
    themselves."""
    defined = {}
    for key, syms in libs.items():
        for name, cls in syms:
            if cls != "U" and (name not in defined or cls.isupper()):
                defined[name] = key
    pulled, seen, queue, qt_users = set(), set(wanted) | own, list(wanted), set()
    while queue:
        name = queue.pop()
        key = defined.get(name)
        if key is None or key in pulled:
            continue
        pulled.add(key)
        for n, cls in libs[key]:
            if cls == "U" and n not in defined:
                if is_qt(n):
                    qt_users.add(key)
            elif cls == "U" and n not in seen:
                seen.add(n)
                queue.append(n)
    return qt_users


def demangle(names):
    names = list(names)
    if not names:
        return {}
    out = subprocess.run(["c++filt"], input="\n".join(names) + "\n", capture_output=True,
                         text=True)
    if out.returncode != 0:
        return {n: n for n in names}
    return dict(zip(names, out.stdout.splitlines()))


# ---------------------------------------------------------------------------------------------
# Graphs

def sccs(nodes, edges):
    """Tarjan, iterative. edges: {node: set(node)}."""
    index, low, on, stack, out = {}, {}, set(), [], []
    counter = [0]
    for root in nodes:
        if root in index:
            continue
        work = [(root, iter(sorted(edges.get(root, ()))))]
        index[root] = low[root] = counter[0]
        counter[0] += 1
        stack.append(root)
        on.add(root)
        while work:
            v, it = work[-1]
            advanced = False
            for w in it:
                if w not in index:
                    index[w] = low[w] = counter[0]
                    counter[0] += 1
                    stack.append(w)
                    on.add(w)
                    work.append((w, iter(sorted(edges.get(w, ())))))
                    advanced = True
                    break
                if w in on:
                    low[v] = min(low[v], index[w])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[v])
            if low[v] == index[v]:
                comp = []
                while True:
                    w = stack.pop()
                    on.discard(w)
                    comp.append(w)
                    if w == v:
                        break
                out.append(sorted(comp))
    return out


def report_loops(title, nodes, edges, unit):
    comps = [c for c in sccs(nodes, edges) if len(c) > 1]
    comps.sort(key=lambda c: (-len(c), c))
    nedges = sum(len(v) for v in edges.values())
    print("%s: %d %s, %d edges" % (title, len(nodes), unit, nedges))
    largest = comps[0] if comps else []
    print("  largest cycle (strongly connected component): %d %s" % (len(largest), unit))
    if largest:
        print("    " + wrap(" ".join(largest), 4))
    print("  %s in any cycle: %d (in %d cycle%s)" % (unit, sum(len(c) for c in comps),
                                                    len(comps), "" if len(comps) == 1 else "s"))
    for c in comps[1:]:
        print("    other cycle of %d: %s" % (len(c), " ".join(c)))


def wrap(text, indent, width=100):
    lines, cur = [], ""
    for word in text.split():
        if cur and len(cur) + 1 + len(word) + indent > width:
            lines.append(cur)
            cur = word
        else:
            cur = (cur + " " + word) if cur else word
    if cur:
        lines.append(cur)
    return ("\n" + " " * indent).join(lines)


# ---------------------------------------------------------------------------------------------
# Sources: stripping and tokens

def strip_code(text):
    """Comments, string/char literals (raw strings too) and preprocessor lines blanked out;
    newlines kept so that positions stay on their lines."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start:
            j = i
            while j < n and text[j] in " \t":
                j += 1
            if j < n and text[j] == "#":
                # a directive, with its continuation lines
                while j < n:
                    if text[j] == "\n" and text[j - 1] != "\\":
                        break
                    j += 1
                out.append("\n" * text.count("\n", i, j))
                i = j
                continue
            line_start = False
        if c == "\n":
            out.append(c)
            line_start = True
            i += 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j) or " ")
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum()
                                                                       or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]{0,16})\(', text[i:])
            if m:
                end = text.find(")" + m.group(1) + '"', i + m.end())
                end = n if end < 0 else end + len(m.group(1)) + 2
                out.append('""' + "\n" * text.count("\n", i, end))
                i = end
            else:
                out.append(c)
                i += 1
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum():   # digit separator 1'000
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


TOKEN = re.compile(r"""
    (?P<id>[A-Za-z_]\w*)
  | (?P<num>\.?\d[\w.']*(?:[eEpP][+-]\w+)?)
  | (?P<op>->\*|<<=|>>=|\.\.\.|::|->|\+\+|--|<=>|<=|>=|==|!=|&&|\|\||[-+*/%&|^<>!=]=|[-+*/%&|^~!<>=?:;,.(){}\[\]#])
  | (?P<str>"")
""", re.X)

KEYWORDS = {
    "return", "case", "else", "do", "throw", "sizeof", "new", "delete", "goto", "co_return",
    "co_yield", "co_await", "typeid", "alignof", "decltype", "not", "and", "or", "xor", "bitand",
    "bitor", "compl", "not_eq", "and_eq", "or_eq", "xor_eq", "default", "public", "private",
    "protected", "if", "while", "for", "switch", "operator", "using", "typedef", "template",
    "typename", "static_assert", "noexcept", "requires", "this", "true", "false", "nullptr",
}
DECL_SPECS = {"static", "const", "constexpr", "constinit", "inline", "extern", "mutable",
              "volatile", "thread_local", "register", "unsigned", "signed", "long", "short",
              "struct", "class", "enum", "union"}
BUILTIN_TYPES = {"int", "double", "float", "char", "bool", "long", "short", "unsigned", "signed",
                 "void", "auto", "wchar_t", "char16_t", "char32_t", "char8_t"}
ASSIGN = {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="}
READONLY_METHODS = {
    "size", "empty", "length", "c_str", "load", "count", "find", "rfind", "contains", "cbegin",
    "cend", "crbegin", "crend", "capacity", "substr", "compare", "starts_with", "ends_with",
    "max_size", "test", "any", "all", "none", "value_or", "has_value", "get", "joinable",
    "find_first_of", "find_last_of", "find_first_not_of", "find_last_not_of", "toStdString",
    "isEmpty", "isNull", "toInt", "toDouble",
}
# Member calls that hand out an element, pointer or iterator: whether that is written depends
# on what is done with it; those marked * hand out a pointer or iterator.
ACCESSORS = {"front": "", "back": "", "at": "", "begin": "*", "end": "*", "rbegin": "*",
             "rend": "*", "data": "*"}
# C library routines that only read what their pointer arguments point to (std:: routines not
# in OUT_ARGS are taken as readers too).
C_READERS = {
    "strlen", "strnlen", "strcmp", "strncmp", "strcasecmp", "strncasecmp", "strchr", "strrchr",
    "strstr", "memcmp", "memchr", "fopen", "open", "stat", "lstat", "access", "unlink", "remove",
    "rename", "printf", "fprintf", "puts", "fputs", "fwrite", "write", "atoi", "atof", "atol",
    "realpath", "opendir", "mkdir", "rmdir", "chdir",
}
# Arguments the callee writes, by 0-based position (-1: the last one; "all": every one).
OUT_ARGS = {
    "copy": [-1], "copy_n": [-1], "copy_backward": [-1], "copy_if": [2], "move": [-1],
    "move_backward": [-1], "transform": "rest1", "fill": "all", "fill_n": "all", "iota": "all",
    "generate": "all", "generate_n": "all", "sort": "all", "stable_sort": "all",
    "partial_sort": "all", "nth_element": "all", "reverse": "all", "rotate": "all",
    "shuffle": "all", "swap": "all", "swap_ranges": "all", "replace": "all",
    "replace_if": "all", "exchange": [0], "memcpy": [0], "memmove": [0], "memset": [0],
    "strcpy": [0], "strncpy": [0], "strcat": [0], "strncat": [0], "snprintf": [0],
    "sprintf": [0], "vsnprintf": [0], "fgets": [0], "fread": [0], "getline": [1],
    "from_chars": [2], "sscanf": "rest2", "fscanf": "rest2", "scanf": "rest1", "strtod": [1],
    "strtol": [1], "frexp": [1], "modf": [1], "tie": "all",
}


def tokenize(text):
    """[(kind, text, line)]."""
    toks, line, pos = [], 1, 0
    for m in TOKEN.finditer(text):
        line += text.count("\n", pos, m.start())
        pos = m.start()
        toks.append(Tok(m.lastgroup, m.group(), line))
    return toks


class Tok(tuple):
    """A token: indexes 0 and 1 are its kind and text, .line its line."""
    def __new__(cls, kind, text, line):
        t = super().__new__(cls, (kind, text))
        t.line = line
        return t


def token_lines_of(toks):
    return [getattr(t, "line", 0) for t in toks]


def matching(toks, i, open_, close):
    """Index of the bracket closing toks[i] (== open_), or len(toks)."""
    depth = 0
    for j in range(i, len(toks)):
        if toks[j][1] == open_:
            depth += 1
        elif toks[j][1] == close:
            depth -= 1
            if depth == 0:
                return j
    return len(toks)


def opening(toks, i, open_, close):
    depth = 0
    for j in range(i, -1, -1):
        if toks[j][1] == close:
            depth += 1
        elif toks[j][1] == open_:
            depth -= 1
            if depth == 0:
                return j
    return -1


def enclosing(toks, i):
    """Index of the unmatched `(` before toks[i], or -1."""
    depth = 0
    for j in range(i, -1, -1):
        v = toks[j][1]
        if v in (")", "]", "}"):
            depth += 1
        elif v in ("(", "[", "{"):
            if depth == 0:
                return j if v == "(" else -1
            depth -= 1
    return -1


def type_start(toks, i):
    """Walks back from toks[i] (the last token of a would-be type) over identifiers, `::`,
    template arguments, `*`, `&`; returns the index of the first token of that type."""
    j = i
    while j >= 0:
        k, v = toks[j]
        if v == ">":
            o = opening(toks, j, "<", ">")
            if o <= 0:
                return j + 1
            j = o - 1
            continue
        if k == "id" and v not in KEYWORDS:
            if j > 0 and toks[j - 1][1] == "::":
                j -= 2
                continue
            if j > 0 and toks[j - 1][0] == "id" and toks[j - 1][1] in DECL_SPECS | BUILTIN_TYPES:
                j -= 1
                continue
            return j
        if v in ("*", "&", "&&", "::") or v in DECL_SPECS:
            j -= 1
            continue
        return j + 1
    return 0


def is_declaration(toks, i):
    """toks[i] is an identifier; True when it is the name being declared."""
    if i == 0:
        return False
    nxt = toks[i + 1][1] if i + 1 < len(toks) else ";"
    if nxt not in ("=", ";", ",", ")", "{", "[", "(", ":"):
        return False
    pk, pv = toks[i - 1]
    if pk == "id":
        return pv not in KEYWORDS
    if pv == ">":
        return nxt in ("=", ";", "{", "[") and opening(toks, i - 1, "<", ">") > 0
    if pv in ("*", "&", "&&"):
        j = i - 1
        while j >= 0 and toks[j][1] in ("*", "&", "&&", "const"):
            j -= 1
        if j < 0:
            return False
        s = type_start(toks, j)
        if s > j:
            return False
        before = toks[s - 1][1] if s > 0 else ";"
        if before not in (";", "{", "}", "(", ",", ")") and before not in DECL_SPECS:
            return False
        first = toks[s][1]
        typeish = (first in BUILTIN_TYPES or first in DECL_SPECS or first[:1].isupper()
                   or first.endswith("_t") or first == "std"
                   or any(t[1] == "::" for t in toks[s:j + 1]))
        return typeish
    return False


# ---------------------------------------------------------------------------------------------
# Project functions with output parameters

def out_params(files):
    """{function name: set of 0-based parameter positions that are written through}, with an
    entry (maybe empty) for every function the project declares."""
    table = collections.defaultdict(set)
    for path in files:
        with open(path, encoding="utf-8", errors="replace") as f:
            toks = tokenize(strip_code(f.read()))
        for i in range(1, len(toks) - 1):
            k, name = toks[i]
            if k != "id" or toks[i + 1][1] != "(" or name in KEYWORDS:
                continue
            q = i
            while q >= 2 and toks[q - 1][1] == "::" and toks[q - 2][0] == "id":
                q -= 2              # Class::Name, ns::Name: look before the qualifier
            pk, pv = toks[q - 1] if q > 0 else ("op", ";")
            if not ((pk == "id" and pv not in KEYWORDS) or pv in ("*", "&", ">", "~")):
                continue
            close = matching(toks, i + 1, "(", ")")
            after = toks[close + 1][1] if close + 1 < len(toks) else ";"
            if after not in (";", "{", "const", "noexcept", "override", "->", "=", ":", "final"):
                continue
            params, cur, depth = [], [], 0
            for t in toks[i + 2:close]:
                if t[1] in ("(", "[", "{", "<"):
                    depth += 1
                elif t[1] in (")", "]", "}", ">"):
                    depth -= 1
                if t[1] == "," and depth == 0:
                    params.append(cur)
                    cur = []
                else:
                    cur.append(t[1])
            if cur:
                params.append(cur)
            if any(not p or not (re.match(r"[A-Za-z_]", p[0]) or p[0] in ("::", "...")) or
                   p[0] in KEYWORDS or p[0].endswith("_cast") or
                   any(v == "(" and (x + 1 >= len(p) or p[x + 1] not in ("*", "&"))
                       for x, v in enumerate(p[:p.index("=")] if "=" in p else p))
                   for p in params):
                continue            # an object built from expressions, not a parameter list
            table.setdefault(name, set())
            for pos, p in enumerate(params):
                if "=" in p:
                    p = p[:p.index("=")]
                refs = [x for x, v in enumerate(p) if v in ("*", "&", "[")]
                written = False
                if refs:
                    written = "const" not in p[:refs[0]]
                for x, v in enumerate(p):
                    if v == "span" and x + 2 < len(p) and p[x + 1] == "<" and p[x + 2] != "const":
                        written = True
                if written:
                    table[name].add(pos)
    return table


# ---------------------------------------------------------------------------------------------
# Writes to globals

def address_read(toks, amp, outp):
    """True when the address toks[amp] == '&' takes is plainly only read: it initialises a
    pointer to const (`const T* p = &g;`) or is an argument a project function declares const."""
    before = toks[amp - 1][1] if amp > 0 else ";"
    if before == "=":
        j = amp - 1
        while j > 0 and toks[j - 1][1] not in (";", "{", "}", "(", ","):
            j -= 1
        decl = [t[1] for t in toks[j:amp - 1]]
        if decl and decl[0] == "const" or "const" in decl[:decl.index("*")] if "*" in decl else False:
            return True
    if before in ("(", ","):
        o = enclosing(toks, amp - 1) if before == "," else amp - 1
        if o > 0 and toks[o - 1][0] == "id" and toks[o - 1][1] in outp \
                and toks[o - 1][1] not in OUT_ARGS:
            pos, depth = 0, 0
            for t in toks[o + 1:amp]:
                if t[1] in ("(", "[", "{"):
                    depth += 1
                elif t[1] in (")", "]", "}"):
                    depth -= 1
                elif t[1] == "," and depth == 0:
                    pos += 1
            return pos not in outp[toks[o - 1][1]]
    return False


def array_globals(toks, names):
    """The names among names that a namespace-scope or extern declaration in toks makes arrays
    (used bare, such a name is a pointer into the global)."""
    arrays, depth = set(), 0
    for i, (k, v) in enumerate(toks):
        if v == "{":
            depth += 1
        elif v == "}":
            depth -= 1
        elif k == "id" and v in names and i + 1 < len(toks) and toks[i + 1][1] == "[":
            j = i - 1
            ext = False
            while j >= 0 and toks[j][1] not in (";", "{", "}"):
                ext = ext or toks[j][1] == "extern"
                j -= 1
            if (ext or depth == 0) and (is_declaration(toks, i) or toks[i - 1][1] == ","):
                arrays.add(v)
    return arrays


def scan_writes(toks, names, outp, sites=None, arrays=frozenset()):
    """{global name: number of write sites} for one file's tokens; with sites (a list), the
    token index of every write is appended to it."""
    writes = collections.Counter()
    lines = token_lines_of(toks)
    seen = set()
    scopes = [("file", set())]       # (kind, names hidden in it)
    pending = set()
    file_hidden = set()
    paren = 0
    n = len(toks)

    def hidden(name):
        return name in file_hidden or name in pending or any(name in s for _, s in scopes)

    def scope_kind(i):
        """Kind of the block toks[i] == '{' opens."""
        j = i - 1
        if j >= 0 and toks[j][1] in ("=", ",", "(", "{", "return", "[") :
            return "init"
        # namespace X {, namespace {, extern "C" {
        k = j
        while k >= 0 and (toks[k][0] == "id" or toks[k][1] == "::") and toks[k][1] != "namespace":
            k -= 1
        if k >= 0 and toks[k][1] == "namespace":
            return "anon" if k == j else "namespace"
        if j >= 1 and toks[j][1] == '""' and toks[j - 1][1] == "extern":
            return "namespace"
        # struct/class/union/enum Name [: bases] {
        k = j
        while k >= 0 and toks[k][1] not in (";", "{", "}", ")"):
            if toks[k][1] in ("struct", "class", "union", "enum"):
                return "class"
            k -= 1
        return "block"

    def in_function():
        return any(kind in ("block",) for kind, _ in scopes)

    def in_anon():
        return any(kind == "anon" for kind, _ in scopes)

    def statement_has(i, word):
        j = i - 1
        while j >= 0 and toks[j][1] not in (";", "{", "}"):
            if toks[j][1] == word:
                return True
            j -= 1
        return False

    i = 0
    while i < n:
        k, v = toks[i]
        if v == "{":
            kind = scope_kind(i)
            scopes.append((kind, set(pending)))
            pending = set()
            i += 1
            continue
        if v == "}":
            if len(scopes) > 1:
                scopes.pop()
            i += 1
            continue
        if v == "(":
            paren += 1
        elif v == ")":
            paren = max(0, paren - 1)
        elif v == ";" and paren == 0:
            pending = set()
        if k != "id" or v not in names:
            i += 1
            continue
        prev = toks[i - 1][1] if i > 0 else ";"
        if prev in (".", "->"):
            i += 1
            continue
        if is_declaration(toks, i):
            if paren > 0:
                pending.add(v)
            elif in_function() or scopes[-1][0] == "class":
                scopes[-1][1].add(v)
            elif scopes[-1][0] in ("file", "namespace", "anon"):
                if in_anon() or statement_has(i, "static"):
                    file_hidden.add(v)
            i += 1
            continue
        if scopes[-1][0] == "class" or hidden(v) or not in_function():
            i += 1
            continue
        # the expression starting at the global
        start = i
        while start >= 2 and toks[start - 1][1] == "::" and toks[start - 2][0] == "id":
            start -= 2
        if start >= 1 and toks[start - 1][1] == "::":
            start -= 1
        end = i + 1      # one past the expression
        method_write = False
        # the expression is a pointer or iterator into the global
        pointer = v in arrays and (i + 1 >= n or toks[i + 1][1] not in ("[", ".", "->"))
        while end < n:
            t = toks[end][1]
            if t == "[":
                end = matching(toks, end, "[", "]") + 1
            elif t in (".", "->", "->*") and end + 2 < n and toks[end + 1][1] == "*" \
                    and toks[end + 2][0] == "id" or t == "->*" and end + 1 < n \
                    and toks[end + 1][0] == "id":
                end += 3 if toks[end + 1][1] == "*" else 2      # g.*member, g->*member
            elif t in (".", "->") and end + 1 < n and toks[end + 1][0] == "id":
                if end + 2 < n and toks[end + 2][1] == "(":
                    m = toks[end + 1][1]
                    if m in ACCESSORS:
                        pointer = ACCESSORS[m] == "*"
                    elif m not in READONLY_METHODS:
                        method_write = True
                    end = matching(toks, end + 2, "(", ")") + 1
                else:
                    end += 2
            else:
                break
        after = toks[end][1] if end < n else ";"
        before = toks[start - 1][1] if start > 0 else ";"
        write = method_write or after in ASSIGN or after in ("++", "--") or before in ("++", "--")
        if not write and before == "&":
            b2 = toks[start - 2] if start > 1 else ("op", ";")
            if not (b2[0] in ("id", "num") and b2[1] not in KEYWORDS) and b2[1] not in (")", "]"):
                write = not address_read(toks, start - 1, outp)
        if not write and before == "*":
            b2 = toks[start - 2][1] if start > 1 else ";"
            if b2 == "&":
                write = True
        if not write and before in ("=", ":", "(", "{") and after in (";", ")", ",", "}", "+", "-"):
            # a reference or pointer bound to it: T& r = g;  for (auto& x : g)  T* p(g)
            j = start - 2
            if j >= 0 and toks[j][0] == "id" and j >= 1 and toks[j - 1][1] in ("&", "*"):
                if not statement_has(j, "const") and is_declaration(toks, j):
                    write = True
            # a pointer or iterator into it kept: p = g.data();  double* p = g;
            if pointer and before == "=" and not statement_has(start - 1, "const"):
                decl = j >= 0 and toks[j][0] == "id" and is_declaration(toks, j)
                write = not decl or toks[j - 1][1] in ("*", "&") or toks[j - 1][1] == "auto"
        if not write and pointer and before == "return":
            write = True     # a pointer into it handed out: return g + k;
        if not write and before in ("(", ",") and after in (",", ")", "+", "-"):
            o = enclosing(toks, start - 1) if before == "," else start - 1
            if o > 0 and toks[o - 1][0] == "id":
                fn = toks[o - 1][1]
                pos = 0
                depth = 0
                for t in toks[o + 1:start]:
                    if t[1] in ("(", "[", "{"):
                        depth += 1
                    elif t[1] in (")", "]", "}"):
                        depth -= 1
                    elif t[1] == "," and depth == 0:
                        pos += 1
                close = matching(toks, o, "(", ")")
                nargs = 1
                depth = 0
                for t in toks[o + 1:close]:
                    if t[1] in ("(", "[", "{"):
                        depth += 1
                    elif t[1] in (")", "]", "}"):
                        depth -= 1
                    elif t[1] == "," and depth == 0:
                        nargs += 1
                written = OUT_ARGS.get(fn)
                if written == "all":
                    write = True
                elif written == "rest1":
                    write = pos >= 1
                elif written == "rest2":
                    write = pos >= 2
                elif written:
                    write = pos in written or (-1 in written and pos == nargs - 1)
                if not write and fn in outp and pos in outp[fn]:
                    write = True
                q = o - 1
                while q >= 2 and toks[q - 1][1] == "::" and toks[q - 2][0] == "id":
                    q -= 2
                std_call = toks[q][1] == "std" and q < o - 1
                if not write and pointer and not written and fn not in outp and not std_call \
                        and fn not in C_READERS:
                    write = True     # a pointer into it handed to code of unknown intent
        if write and (v, lines[i]) not in seen:
            seen.add((v, lines[i]))
            writes[v] += 1
            if sites is not None:
                sites.append((v, i))
        i = end if end > i else i + 1
    return writes


# ---------------------------------------------------------------------------------------------

def main():
    if len(sys.argv) != 2:
        die("usage: structure.py BUILD_DIR")
    build = os.path.abspath(sys.argv[1])
    if not os.path.isfile(os.path.join(build, "CMakeCache.txt")):
        die("%s is not a configured build (no CMakeCache.txt)" % build)
    src = cache_value(build, "CMAKE_HOME_DIRECTORY")
    if not src or not os.path.isdir(os.path.join(src, "analyzer")):
        die("the source tree of %s has no analyzer/ folder" % build)
    if not os.path.isdir(os.path.join(build, "analyzer", "CMakeFiles")):
        die("%s has no analyzer targets (analyzer/CMakeFiles is missing)" % build)
    adir = os.path.join(src, "analyzer")

    targets = analyzer_targets(build, src)
    cpp = sorted(f for f in os.listdir(adir) if f.endswith(".cpp"))
    compiled = {s for objs in targets.values() for _, s in objs if s}
    missing = [f for f in cpp if f not in compiled]
    if missing:
        die("no object for %s in %s: build the analyzer first (cmake --build %s)"
            % (", ".join(missing), build, build))
    stale = []
    for objs in targets.values():
        for obj, s in objs:
            if not s:
                continue
            deps = [os.path.join(adir, s)]
            if os.path.isfile(obj + ".d"):     # the compiler's list of what the object read
                with open(obj + ".d", encoding="utf-8", errors="replace") as f:
                    words = f.read().replace("\\\n", " ").split()
                for w in words[1:]:
                    # relative names are from the folder the compiler ran in (BUILD/analyzer)
                    for d in ([w] if os.path.isabs(w) else
                              [os.path.join(build, "analyzer", w), os.path.join(build, w)]):
                        d = os.path.normpath(d)
                        if d.startswith(src + os.sep) and os.path.isfile(d):
                            deps.append(d)
                            break
            made = os.path.getmtime(obj)
            if any(os.path.getmtime(d) > made for d in deps):
                stale.append(s)
    if stale:
        stale = sorted(set(stale))
        die("%d object(s) older than their sources (%s%s): rebuild first (cmake --build %s)"
            % (len(stale), ", ".join(stale[:4]), ", ..." if len(stale) > 4 else "", build))

    print("Structure of %s (build %s)" % (adir, build))
    print("analyzer targets: " + ", ".join(
        "%s (%d objects)" % (t, len(o)) for t, o in sorted(targets.items())))
    print()

    # ---- 1. call graph
    strong, weak = collections.defaultdict(set), collections.defaultdict(set)
    undefined = collections.defaultdict(set)
    data = {}                                # mangled -> (file, class, section)
    symbols_of = {}
    for t, objs in targets.items():
        for obj, s in objs:
            syms = nm_symbols(obj)
            symbols_of[obj] = syms
            if not s:
                continue
            for name, cls, section in syms:
                if cls == "U":
                    undefined[s].add(name)
                elif cls in "WVu":
                    weak[name].add(s)
                elif cls.isupper():
                    strong[name].add(s)
                if cls in "DBVSC" and not section.startswith(".data.rel.ro") \
                        and re.match(r"\.(data|bss|tdata|tbss)", section) or cls in "SC":
                    data.setdefault(name, (s, cls, section))
    edges = collections.defaultdict(set)
    for a, names in undefined.items():
        for name in names:
            for b in strong.get(name) or weak.get(name) or ():
                if b != a:
                    edges[a].add(b)
    report_loops("1. Call loop (file-level call/data-reference graph of analyzer/*.cpp)",
                 sorted(compiled), edges, "files")
    print()

    # ---- 2. include graph
    sources = []
    for root, _, files in os.walk(adir):
        for f in files:
            if f.endswith((".cpp", ".h", ".hpp", ".cc", ".cxx", ".hh")):
                sources.append(os.path.join(root, f))
    sources.sort()
    modules = sorted({os.path.splitext(os.path.relpath(p, adir))[0] for p in sources})
    inc_edges = collections.defaultdict(set)
    for p in sources:
        mod = os.path.splitext(os.path.relpath(p, adir))[0]
        with open(p, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = re.match(r'\s*#\s*include\s*"([^"]+)"', line)
                if not m:
                    continue
                inc = m.group(1)
                target = None
                if inc.startswith("analyzer/"):
                    target = os.path.join(src, inc)
                elif os.path.isfile(os.path.join(os.path.dirname(p), inc)):
                    target = os.path.normpath(os.path.join(os.path.dirname(p), inc))
                if not target or not os.path.isfile(target):
                    continue
                rel = os.path.relpath(target, adir)
                if rel.startswith(".."):
                    continue
                other = os.path.splitext(rel)[0]
                if other != mod:
                    inc_edges[mod].add(other)
    report_loops('2. Include loop (#include "analyzer/..." between modules; X.h + X.cpp = X)',
                 modules, inc_edges, "modules")
    print()

    # ---- 3. globals written from more than one file
    dem = demangle(data)
    globals_ = {}
    for mangled, (owner, cls, section) in data.items():
        d = dem.get(mangled, mangled)
        if any(x in d for x in ("vtable for", "typeinfo", "guard variable", "VTT for",
                                "construction vtable", "(anonymous namespace)")):
            continue
        if "(" in d or mangled.startswith(("_ZGV", "_ZTV", "_ZTI", "_ZTS", "DW.ref.")):
            continue
        last = d.split("::")[-1]
        if not re.fullmatch(r"[A-Za-z_]\w*", last) or re.fullmatch(r"k[A-Z0-9]\w*", last):
            continue
        globals_.setdefault(last, set()).add(owner)
    project_files = []
    for root, dirs, files in os.walk(src):
        dirs[:] = [d for d in dirs if not d.startswith((".", "build")) and
                   d not in ("tests", "bench") and
                   os.path.abspath(os.path.join(root, d)) != build]
        for f in files:
            if f.endswith((".h", ".hpp", ".cpp", ".cc")):
                project_files.append(os.path.join(root, f))
    outp = out_params(project_files)
    debug = set(os.environ.get("STRUCTURE_DEBUG", "").split())
    writers = collections.defaultdict(dict)
    stripped, tokens, arrays = {}, {}, set()
    for p in sources:
        with open(p, encoding="utf-8", errors="replace") as f:
            stripped[p] = strip_code(f.read())
        tokens[p] = tokenize(stripped[p])
        arrays |= array_globals(tokens[p], set(globals_))
    for p in sources:
        toks = tokens[p]
        sites = [] if debug else None
        for name, count in scan_writes(toks, set(globals_), outp, sites, arrays).items():
            writers[name][os.path.relpath(p, adir)] = count
        if debug:
            for name, i in sites:
                if name in debug:
                    print("  write %s at %s:%d" % (name, os.path.relpath(p, adir), toks[i].line),
                          file=sys.stderr)
    multi = sorted(((len(w), name) for name, w in writers.items() if len(w) > 1),
                   key=lambda x: (-x[0], x[1]))
    one = sum(1 for name in globals_ if len(writers.get(name, ())) == 1)
    print("3. Mutable globals defined in analyzer objects: %d; written from more than one file: %d"
          % (len(globals_), len(multi)))
    print("   (from one file: %d, from none found: %d)" % (one, len(globals_) - one - len(multi)))
    for count, name in multi[:10]:
        files = writers[name]
        print("  %-14s %2d files, %3d write sites: %s" % (
            name, count, sum(files.values()),
            wrap(" ".join("%s(%d)" % (f, c) for f, c in sorted(files.items())), 48)))
    if len(multi) > 10:
        print("  ... and %d more, files writing each:" % (len(multi) - 10))
        print("    " + wrap(" ".join("%s(%d)" % (name, c) for c, name in multi[10:]), 4))
    print()

    # ---- 4. touches
    num = r"(?:\d[\w.']*)"
    func_names = r"\b(?:cf|funcmeas|fA|fB)\b"
    func_cmp = re.compile(r"\bfunction\s*(?:==|!=|<=|>=|<(?!<)|>(?!>))\s*%s|%s\s*(?:==|!=|<=|>=|<|>)"
                          r"\s*(?:[\w.\[\]]+(?:\.|->))?function\b" % (num, num))
    src_cmp = re.compile(r"\bsource\s*(?:==|!=)\s*%s|%s\s*(?:==|!=)\s*(?:[\w.\[\]]+(?:\.|->))?"
                         r"source\b" % (num, num))
    src_any = re.compile(r"\bsource\s*(?:==|!=)|(?:==|!=)\s*(?:[\w.\[\]]+(?:\.|->))?source\b")
    func_any = re.compile(r"\bfunction\s*(?:==|!=|<=|>=|<(?!<)|>(?!>))|(?:==|!=|<=|>=|<|>)\s*"
                          r"(?:[\w.\[\]]+(?:\.|->))?function\b")
    any_label = r"[\w:]+"

    def switch_cases(text, member, label=num):
        count = 0
        for m in re.finditer(r"\bswitch\s*\(([^()]*)\)\s*\{", text):
            if not re.search(r"\b%s\s*$" % member, m.group(1)):
                continue
            depth, j = 0, m.end() - 1
            while j < len(text):
                if text[j] == "{":
                    depth += 1
                elif text[j] == "}":
                    depth -= 1
                    if depth == 0:
                        break
                j += 1
            count += len(re.findall(r"\bcase\s+%s\s*:(?!:)" % label, text[m.end():j]))
        return count

    ftouch, stouch, sall, fall = {}, {}, {}, {}
    for p in sources:
        text = stripped[p]
        rel = os.path.relpath(p, adir)
        names = len(re.findall(func_names, text))
        cmps = len(func_cmp.findall(text)) + switch_cases(text, "function")
        if names or cmps:
            ftouch[rel] = (names, cmps)
        s = len(src_cmp.findall(text)) + switch_cases(text, "source")
        if s:
            stouch[rel] = s
        a = len(src_any.findall(text)) + switch_cases(text, "source", any_label)
        if a:
            sall[rel] = a
        a = len(func_any.findall(text)) + switch_cases(text, "function", any_label)
        if a:
            fall[rel] = a
    print("4. Touches to add a measurement function: %d files\n"
          "   (%d mentions of cf/funcmeas/fA/fB + %d comparisons of a function number with a literal)"
          % (
              len(ftouch), sum(x[0] for x in ftouch.values()), sum(x[1] for x in ftouch.values())))
    print("    " + wrap(" ".join("%s(%d+%d)" % (f, a, b) for f, (a, b) in sorted(ftouch.items())),
                        4))
    print("   (comparisons of a function number with anything, named constants too: %d in %d files)"
          % (sum(fall.values()), len(fall)))
    print("   Touches to add a data source: %d files, %d comparisons of the source number with a "
          "literal" % (len(stouch), sum(stouch.values())))
    print("    " + wrap(" ".join("%s(%d)" % (f, c) for f, c in sorted(stouch.items())), 4))
    print("   (comparisons of a source number with anything, named constants too: %d in %d files)" % (
        sum(sall.values()), len(sall)))
    print()

    # ---- 5. Qt per target
    print("5. Qt per analyzer target")
    libs = lib_names = dem_lib = None
    for t, objs in sorted(targets.items()):
        tdir = os.path.join(build, "analyzer", "CMakeFiles", t + ".dir")
        link, flags = read_text(os.path.join(tdir, "link.txt")), \
            read_text(os.path.join(tdir, "flags.make"))
        kind = "static library" if re.search(r"\bar\b|\bar\s+q", link.split("\n")[0]) or \
            re.search(r"/ar\s", link) else ("shared library" if "-shared" in link else
                                             "executable")
        qt_link = sorted(set(re.findall(r"lib(Qt\d?\w+?)\.(?:so|a)", link)))
        qt_inc = bool(re.search(r"[/-]I?[^ ]*qt\d?[/ ]|Qt\d?Core", flags, re.I))
        own = {name for obj, _ in objs for name, cls, _ in symbols_of.get(obj, ()) if cls != "U"}
        used = collections.defaultdict(set)
        for obj, _ in objs:
            for name, cls, _ in symbols_of.get(obj, ()):
                if cls == "U" and name not in own:
                    used[name].add(os.path.basename(obj)[:-2])
        dem_used = demangle(used)
        qsyms = {n for n in used
                 if re.search(r"(^|[^\w])(Q[A-Z][a-z]\w*|q[A-Z]\w*|qt_\w*)", dem_used.get(n, n))}
        users = collections.Counter(f for n in qsyms for f in used[n])
        if libs is None:
            libs = project_libraries(build)
            lib_names = {n for syms in libs.values() for n, _ in syms}
            dem_lib = demangle(lib_names)
        through = qt_through_libraries(
            [n for n in used if n not in qsyms], own, libs,
            lambda n: bool(re.search(r"(^|[^\w])(Q[A-Z][a-z]\w*|q[A-Z]\w*|qt_\w*)",
                                     dem_lib.get(n, n))))
        by_lib = collections.Counter(lib for lib, _ in through)
        print("  %-14s %-15s links Qt: %-3s  Qt on compile line: %-3s  Qt symbols used: %d" % (
            t, kind, "n/a" if kind == "static library" else ("yes" if qt_link else "no"),
            "yes" if qt_inc else "no", len(qsyms)))
        if qt_link:
            print("    linked: " + wrap(" ".join(qt_link), 12))
        if users:
            print("    used by: " + wrap(" ".join("%s(%d)" % (f, c) for f, c in sorted(users.items())),
                                       13))
        print("    Qt reached through project libraries it calls: %s" % (
            ", ".join("%s (%d member%s)" % (lib, c, "" if c == 1 else "s")
                      for lib, c in sorted(by_lib.items())) or "none"))


if __name__ == "__main__":
    main()
