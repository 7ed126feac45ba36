"""The table of bundled syntax packages, read by generate-syntaxes.py and check-resources.py.

Each entry is one language. Fields (all optional except name):
  name      package name: the folder name and the name shown in the syntax menu
  ext       file extensions (lowercase, without the dot); files: whole file names
  interp    interpreter names (kept for other readers of the format)
  line      line-comment openers, the first is the one the comment command uses
  block     block-comment pairs, the first is the one the comment command uses
  strings   string delimiters: (begin, end) or (begin, end, multiline)
  escape    how a one-line string escapes its closing quote: "backslash" (the default), "double"
            (the quote written twice) or "none"; or a dict from the opening delimiter to one of these
  keywords  reserved words and literal constants (space separated); coloured as keywords
  types     built-in type names (space separated); coloured as types
  words     further completion words (library functions, directives)
  icase     keywords and types match in any letter case
  rules     extra colouring rules: (group, expression) or (group, begin, end, multiline);
            groups: comments strings numbers characters keywords commands values types
            attributes variables
  outline   (expression, template, kind) or (expression, template, kind, ignoreCase)
  sample    a few lines of the language; the checker wants every rule to match in it
"""

CAP_TYPE = r"\b[A-Z][A-Za-z0-9_]*\b"
NUM_UNDERSCORE = r"\b\d[\d_]*(?:\.\d[\d_]*)?(?:[eE][+-]?\d+)?\b|\b0[xX][0-9A-Fa-f_]+\b"
ANNOTATION = r"@[A-Za-z_][A-Za-z0-9_.]*"
DQ = ('"', '"')
SQ = ("'", "'")
C_COMMENTS = dict(line=["//"], block=[("/*", "*/")])
DOCKER_INSTRUCTIONS = ("FROM RUN CMD LABEL MAINTAINER EXPOSE ENV ADD COPY ENTRYPOINT VOLUME USER WORKDIR ARG "
                       "ONBUILD STOPSIGNAL HEALTHCHECK SHELL")
# Value text up to the line's end, stopping before an escape or a ${...}.
PROPERTY_VALUE = r"(?:[^\\\n$]|\$(?!\{))+"
POWERSHELL_OPERATORS = (r"(?i:eq|ne|gt|ge|lt|le|like|notlike|match|notmatch|contains|notcontains|in|notin|and|or|not|"
                        r"xor|is|isnot|as|replace|split|join|f)")
INI_VALUE = r"(?:[^\n$%]|\$(?!\{)|%(?!\())+"

LANGUAGES = [
    dict(
        name="Ada", ext=["adb", "ads", "ada"], line=["--"], strings=[DQ], escape="double", icase=True,
        keywords="abort abs abstract accept access aliased all and array at begin body case constant "
                 "declare delay delta digits do else elsif end entry exception exit for function generic "
                 "goto if in interface is limited loop mod new not null of or others out overriding "
                 "package pragma private procedure protected raise range record rem renames requeue "
                 "return reverse select separate some subtype synchronized tagged task terminate then "
                 "type until use when while with xor true false",
        types="Integer Natural Positive Float Long_Float Long_Integer Boolean Character String "
              "Wide_String Wide_Character Duration Unbounded_String",
        words="Ada Text_IO Put_Line Get_Line Length First Last Image Value",
        rules=[("characters", r"'.'"), ("attributes", r"(?<=[\w)])'[A-Za-z_]\w*")],
        outline=[(r"^[ \t]*(?:overriding\s+)?(?:procedure|function|package(?:\s+body)?|task(?:\s+body)?|"
                  r"protected(?:\s+body)?)\s+([A-Za-z_][\w.]*)", "$1", "function", True)],
        sample="with Ada.Text_IO;\nprocedure Hello is\n   C : Character := 'x';\n   N : Integer := A'First;\n"
               "begin\n   -- greet\n   Put_Line (\"Hello\");\nend Hello;\n",
    ),
    dict(
        name="Apache", files=[".htaccess", "httpd.conf", "apache.conf", "apache2.conf"], line=["#"],
        strings=[DQ], icase=True,
        keywords="AddDefaultCharset AddHandler AddOutputFilterByType AddType Alias AliasMatch Allow "
                 "AllowOverride AuthName AuthType AuthUserFile CustomLog Deny DirectoryIndex DocumentRoot "
                 "ErrorDocument ErrorLog ExpiresActive ExpiresByType ExpiresDefault FileETag Group Header "
                 "Include IncludeOptional KeepAlive KeepAliveTimeout Listen LoadModule LogFormat LogLevel "
                 "Options Order ProxyPass ProxyPassReverse ProxyPreserveHost Redirect RedirectMatch "
                 "Require RequestHeader RewriteBase RewriteCond RewriteEngine RewriteRule ServerAdmin "
                 "ServerAlias ServerName ServerRoot ServerSignature ServerTokens SetEnv SetEnvIf "
                 "SetHandler SSLCertificateChainFile SSLCertificateFile SSLCertificateKeyFile SSLEngine "
                 "SSLProtocol Timeout User On Off all granted denied",
        rules=[("types", r"</?[A-Za-z][A-Za-z0-9]*\b|(?<=\S)>"),
               ("variables", r"%\{[A-Za-z_:]+\}|\$\d|%\d"),
               ("attributes", r"\[[A-Z,]+(?:=[^\]\s]*)?\]")],
        outline=[(r"^[ \t]*<(VirtualHost|Directory|DirectoryMatch|Location|LocationMatch|Files|FilesMatch|"
                  r"IfModule|Proxy)\b\s*([^>\n]*)>", "$1 $2", "section", True)],
        sample="# site\n<VirtualHost *:80>\n    ServerName example.test\n    RewriteEngine On\n"
               "    RewriteCond %{HTTPS} off\n    RewriteRule ^(.*)$ https://%{HTTP_HOST}/$1 [R=301,L]\n"
               "    Header set X-Test \"1\"\n</VirtualHost>\n",
    ),
    dict(
        name="AsciiDoc", ext=["adoc", "asciidoc"], line=["//"], block=[("////", "////")],
        keywords="NOTE TIP IMPORTANT WARNING CAUTION",
        rules=[("types", r"^={1,6}[ \t]+\S.*$"),
               ("attributes", r"^:!?[\w-]+!?:|^\[[^\]\n]*\][ \t]*$"),
               ("variables", r"\{[\w-]+\}"),
               ("strings", r"`[^`\n]+`"),
               ("commands", r"\b(?:link|image|include|xref|footnote|kbd|btn|menu|mailto|https?):{1,2}[^\[\s]*\["),
               ("values", r"^(?:-{4,}|\.{4,}|={4,}|\+{4,}|_{4,}|\*{4,})[ \t]*$")],
        outline=[(r"^={1,6}[ \t]+(\S.*?)[ \t]*$", "$1", "heading")],
        sample="= Title\n:author: Me\n\n== Section\n\nNOTE: see {author} and `code` and link:a.html[here].\n\n"
               "[source,c]\n----\nint x;\n----\n// a comment\n",
    ),
    dict(
        name="Assembly", ext=["asm", "s", "nasm"], line=[";", "//"], block=[("/*", "*/")],
        strings=[DQ, SQ], icase=True,
        keywords="section segment global globl extern db dw dd dq dt resb resw resd resq equ times "
                 "byte word dword qword ptr offset macro endm proc endp",
        rules=[("comments", r"(?:^|(?<=\s))#\s.*$"),
               ("keywords", r"^[ \t]+[A-Za-z][A-Za-z0-9.]*\b(?![:=])"),
               ("commands", r"^[ \t]*\.[A-Za-z_]\w*|^[ \t]*%[A-Za-z_]\w*"),
               ("variables", r"%[A-Za-z][A-Za-z0-9]*\b|\b(?:[re]?[abcd]x|[re]?[sd]il?|[re]?[sb]pl?|"
                             r"r(?:[89]|1[0-5])[dwb]?|[abcd][lh]|[xyz]mm\d{1,2}|[xw](?:[12]?\d|3[01])|"
                             r"sp|lr|pc|fp)\b"),
               ("numbers", r"[$#]-?(?:0[xX][0-9A-Fa-f]+|\d+)\b|\b[0-9][0-9A-Fa-f]*[hH]\b"),
               ("types", r"^[A-Za-z_.$][\w.$]*:")],
        outline=[(r"^([A-Za-z_.$][\w.$]*):", "$1", "label")],
        sample="section .text\nglobal _start\n_start:\n    mov rax, 60 ; exit\n    movl $1, %eax # code\n"
               "    .align 4\n    ldr x0, #16\n    db \"hi\", 0x0A, 0Fh\n",
    ),
    dict(
        name="AWK", ext=["awk", "gawk", "mawk"], interp=["awk", "gawk", "mawk", "nawk"], line=["#"],
        strings=[DQ],
        keywords="BEGIN END BEGINFILE ENDFILE if else while for do break continue next nextfile exit "
                 "return function func delete in getline print printf",
        types="NR NF FS OFS RS ORS FILENAME FNR SUBSEP RSTART RLENGTH ENVIRON ARGC ARGV CONVFMT OFMT",
        words="length substr index split sub gsub match sprintf tolower toupper system close fflush "
              "srand rand int sin cos atan2 exp log sqrt",
        rules=[("variables", r"\$(?:\d+|[A-Za-z_]\w*|\()"),
               ("strings", r"(?<![\w)\]])/(?:\\.|[^/\\\n])+/")],
        outline=[(r"^[ \t]*func(?:tion)?\s+([A-Za-z_]\w*)", "$1", "function")],
        sample="#!/usr/bin/awk -f\nfunction double(x) { return x * 2 }\nBEGIN { FS = \",\" }\n"
               "/error/ { print $1, NR; n++ }\nEND { printf \"%d\\n\", n }\n",
    ),
    dict(
        name="Batch File", ext=["bat", "cmd"], line=["::"], strings=[DQ], escape="none", icase=True,
        keywords="call cd chdir cls copy del dir echo endlocal erase exit for goto if in md mkdir move "
                 "not nul off on pause popd pushd rd rem ren rename rmdir set setlocal shift start title "
                 "type ver defined errorlevel exist do else equ neq lss leq gtr geq "
                 "enabledelayedexpansion enableextensions",
        rules=[("comments", r"(?i)^[ \t]*@?rem(?:\s.*)?$|^[ \t]*::.*$"),
               ("variables", r"%%?~?[A-Za-z0-9_]+%?|![A-Za-z_]\w*!|%[A-Za-z_][\w]*(?::[^%\n]*)?%"),
               ("types", r"^[ \t]*:[A-Za-z_]\w*"),
               ("attributes", r"^[ \t]*@")],
        outline=[(r"^[ \t]*:([A-Za-z_]\w*)[ \t]*$", "$1", "label")],
        sample="@echo off\nrem setup\nsetlocal enabledelayedexpansion\nset NAME=world\n:main\n"
               "echo Hello %NAME% !NAME! %%i %1\n:: done\ngoto :eof\n",
    ),
    dict(
        name="BibTeX", ext=["bib"], line=["%"], strings=[DQ], escape="none",
        rules=[("keywords", r"(?i)@(?:article|book|booklet|conference|inbook|incollection|inproceedings|"
                            r"manual|mastersthesis|misc|phdthesis|proceedings|techreport|unpublished|"
                            r"online|string|preamble|comment)\b"),
               ("attributes", r"(?m)^[ \t]*[A-Za-z][\w-]*(?=\s*=)"),
               ("variables", r"(?<=[{(])\s*[^\s,{}()=]+(?=\s*,)"),
               ("strings", r"\{[^{}\n]*\}")],
        outline=[(r"^[ \t]*@(?!(?i:string|preamble|comment)\b)\w+\s*[{(]\s*([^\s,]+)\s*,", "$1", "entry")],
        sample="% refs\n@article{knuth1984,\n  author = {Donald Knuth},\n  title = \"Literate Programming\",\n"
               "  year = 1984,\n}\n",
    ),
    dict(
        name="C#", ext=["cs", "csx"], strings=[DQ, ('@"', '"', True), ('"""', '"""', True)], **C_COMMENTS,
        keywords="abstract as async await base break case catch checked class const continue default "
                 "delegate do else enum event explicit extern false finally fixed for foreach get goto if "
                 "implicit in init interface internal is lock namespace new null operator out override "
                 "params partial private protected public readonly record ref required return sealed set "
                 "sizeof stackalloc static struct switch this throw true try typeof unchecked unsafe using "
                 "value var virtual volatile when where while with yield",
        types="bool byte char decimal double dynamic float int long nint nuint object sbyte short string "
              "uint ulong ushort void",
        words="Console WriteLine List Dictionary Task String Exception IEnumerable Func Action",
        rules=[("characters", r"'(?:\\.|[^'\\\n])'"), ("types", CAP_TYPE),
               ("attributes", r"^[ \t]*\[[A-Za-z_][\w.]*(?:\([^)\n]*\))?\]"),
               ("commands", r"^[ \t]*#\s*(?:if|elif|else|endif|define|undef|region|endregion|pragma|nullable)\b")],
        outline=[(r"^[ \t]*(?:(?:public|private|protected|internal|static|sealed|abstract|partial|readonly|"
                  r"file)\s+)*(?:class|struct|interface|enum|record)\s+([A-Za-z_]\w*)", "$1", "class"),
                 (r"^[ \t]*(?:(?:public|private|protected|internal|static|virtual|override|async|abstract|"
                  r"sealed|extern|new)\s+)+[\w<>\[\],?. ]+?\s+([A-Za-z_]\w*)\s*\([^;\n]*$", "$1", "function")],
        sample="#region main\n[Serializable]\npublic class Program {\n    // entry\n"
               "    public static void Main(string[] args) {\n        char c = 'x';\n"
               "        Console.WriteLine(@\"hi\");\n    }\n}\n",
    ),
    dict(
        name="Clojure", ext=["clj", "cljs", "cljc", "edn"], line=[";"], strings=[DQ],
        keywords="def defn defn- defmacro defmulti defmethod defprotocol defrecord deftype defonce ns "
                 "fn let letfn loop recur if if-not when when-not cond condp case do doseq dotimes for "
                 "try catch finally throw quote var new set! and or not nil true false",
        words="map filter reduce first rest cons conj assoc dissoc get get-in update println str apply "
              "partial comp range count into vec keyword atom swap! reset! deref",
        rules=[("values", r"(?<![\w-]):[A-Za-z_*+!?<>=/.-][\w*+!?<>=/.-]*"),
               ("characters", r"\\(?:newline|space|tab|[A-Za-z]\b|.)"),
               ("strings", r"#\"(?:\\.|[^\"\\])*\""),
               ("attributes", r"\^[A-Za-z:][\w-]*|#_")],
        outline=[(r"^[ \t]*\((?:defn-?|defmacro|def|defmulti|defprotocol|defrecord|deftype|defonce)\s+"
                  r"(?:\^\S+\s+)?([^\s()\[\]]+)", "$1", "function")],
        sample="(ns app.core)\n;; square\n(defn ^:private square [x] (* x x))\n"
               "(def m {:a 1 :b \"two\" :c \\a :re #\"a+\"})\n",
    ),
    dict(
        name="CMake", ext=["cmake"], files=["CMakeLists.txt"], line=["#"], block=[("#[[", "]]")],
        strings=[DQ], icase=True,
        keywords="add_compile_definitions add_compile_options add_custom_command add_custom_target "
                 "add_definitions add_dependencies add_executable add_library add_subdirectory add_test "
                 "break cmake_minimum_required cmake_parse_arguments cmake_policy configure_file continue "
                 "else elseif enable_testing endforeach endfunction endif endmacro endwhile "
                 "execute_process export file find_library find_package find_path find_program foreach "
                 "function get_filename_component get_property get_target_property if include "
                 "include_directories install list macro math message option project return set "
                 "set_property set_target_properties string target_compile_definitions "
                 "target_compile_features target_compile_options target_include_directories "
                 "target_link_libraries target_sources unset while",
        types="AND OR NOT STREQUAL EQUAL LESS GREATER MATCHES VERSION_LESS VERSION_GREATER DEFINED "
              "EXISTS TARGET PUBLIC PRIVATE INTERFACE REQUIRED COMPONENTS STATIC SHARED ON OFF TRUE FALSE "
              "CACHE PARENT_SCOPE APPEND",
        rules=[("variables", r"\$(?:ENV|CACHE)?\{[^}\n]*\}|\$<[^>\n]*>"),
               ("strings", r"\[(=*)\[(?s:.*?)\]\1\]")],
        outline=[(r"^[ \t]*(?:function|macro)\s*\(\s*([A-Za-z_]\w*)", "$1", "function", True),
                 (r"^[ \t]*(?:add_executable|add_library|project)\s*\(\s*([A-Za-z_][\w.-]*)", "$1", "target", True)],
        sample="cmake_minimum_required(VERSION 3.25)\nproject(demo CXX)\n# sources\n"
               "set(SRC \"main.cpp\" ${EXTRA})\nadd_executable(demo ${SRC})\n"
               "function(helper name)\n  message(STATUS [[raw]])\nendfunction()\n"
               "if(DEFINED X AND NOT Y)\nendif()\n",
    ),
    dict(
        name="COBOL", ext=["cob", "cbl", "cpy"], line=["*>"], strings=[DQ, SQ], escape="double", icase=True,
        keywords="ACCEPT ADD ALL AND AT BY CALL CLOSE COMPUTE CONFIGURATION COPY DATA DELETE DISPLAY "
                 "DIVIDE DIVISION ELSE END END-IF END-PERFORM END-READ ENVIRONMENT EVALUATE EXIT FD FILE "
                 "FILE-CONTROL FROM GIVING GO GOBACK IF IDENTIFICATION INPUT INPUT-OUTPUT INTO IS "
                 "LINKAGE MOVE MULTIPLY NOT OF OPEN OR OUTPUT PERFORM PIC PICTURE PROCEDURE PROGRAM-ID "
                 "READ REDEFINES RETURN SECTION SELECT SET STOP RUN SUBTRACT THEN TIMES TO UNTIL USING "
                 "VALUE VARYING WHEN WORKING-STORAGE WRITE ZERO ZEROS SPACE SPACES",
        rules=[("comments", r"^.{6}\*.*$"),
               ("types", r"(?i)\bPIC(?:TURE)?\s+[SX9AV()0-9.,Z*+-]+"),
               ("attributes", r"^\s{0,7}\d{2}(?=\s)")],
        outline=[(r"^.{0,7}([A-Za-z0-9][\w-]*\s+(?:DIVISION|SECTION))\s*\.", "$1", "section", True),
                 (r"^.{7}([A-Za-z0-9][\w-]*)\s*\.[ \t]*$", "$1", "paragraph")],
        sample="       IDENTIFICATION DIVISION.\n       PROGRAM-ID. HELLO.\n      * comment\n"
               "       DATA DIVISION.\n       WORKING-STORAGE SECTION.\n       01 WS-N PIC 9(3) VALUE 0.\n"
               "       PROCEDURE DIVISION.\n       MAIN-PARA.\n           DISPLAY \"HI\" *> note\n"
               "           STOP RUN.\n",
    ),
    dict(
        name="CoffeeScript", ext=["coffee", "litcoffee"], files=["Cakefile"], line=["#"],
        block=[("###", "###")], strings=[DQ, SQ, ('"""', '"""', True)],
        keywords="and break by catch class continue else extends false finally for if in instanceof is "
                 "isnt loop new no not null of off on or return super switch then this throw true try "
                 "typeof undefined unless until when while yes yield await import export from default",
        rules=[("variables", r"@[A-Za-z_$][\w$]*"), ("types", CAP_TYPE),
               ("keywords", r"[-=]>")],
        outline=[(r"^[ \t]*class\s+([A-Za-z_$][\w$.]*)", "$1", "class"),
                 (r"^[ \t]*@?([A-Za-z_$][\w$]*)\s*[:=]\s*(?:\([^)\n]*\)\s*)?[-=]>", "$1", "function")],
        sample="# greet\nclass Greeter\n  constructor: (@name) ->\n  hello: => \"hi #{@name}\"\n"
               "square = (x) -> x * x\n",
    ),
    dict(
        name="Crystal", ext=["cr"], interp=["crystal"], line=["#"], strings=[DQ],
        keywords="abstract alias annotation as begin break case class def do else elsif end ensure enum "
                 "extend false for fun if in include instance_sizeof is_a? lib macro module next nil of "
                 "out pointerof private protected require rescue responds_to? return select self sizeof "
                 "struct super then true type typeof uninitialized union unless until when while with "
                 "yield",
        rules=[("types", CAP_TYPE), ("values", r"(?<![\w:]):[A-Za-z_]\w*[?!]?"),
               ("variables", r"@@?[A-Za-z_]\w*"), ("characters", r"'(?:\\.|[^'\\\n])'")],
        outline=[(r"^[ \t]*(?:abstract\s+)?(?:class|struct|module|enum|lib)\s+([A-Z][\w:]*)", "$1", "class"),
                 (r"^[ \t]*(?:private\s+|protected\s+)?def\s+((?:self\.)?[A-Za-z_]\w*[?!=]?)", "$1", "function")],
        sample="# point\nstruct Point\n  def initialize(@x : Int32)\n  end\n  def norm?\n    :ok\n  end\nend\n"
               "c = 'a'\nputs \"hi\"\n",
    ),
    dict(
        name="CSV", ext=["csv", "tsv", "tab"],
        rules=[("strings", r"\"(?:\"\"|[^\"])*\""), ("keywords", r"[,;\t]"),
               ("types", r"\A[^\n]*")],
        sample="name,age,\"city, state\"\nAda,36,\"London\"\n",
    ),
    dict(
        name="D", ext=["d", "di"], interp=["rdmd"], line=["//"], block=[("/*", "*/"), ("/+", "+/")],
        strings=[DQ, ("`", "`", True), ('r"', '"')], escape={'r"': "none"},
        keywords="abstract alias align asm assert auto body break case cast catch class const continue "
                 "debug default delegate deprecated do else enum export extern false final finally for "
                 "foreach foreach_reverse function goto if immutable import in inout interface invariant "
                 "is lazy mixin module new nothrow null out override package pragma private protected "
                 "public pure ref return scope shared static struct super switch synchronized template "
                 "this throw true try typeid typeof union unittest version while with",
        types="bool byte ubyte short ushort int uint long ulong float double real char wchar dchar void "
              "string wstring dstring size_t",
        words="writeln writefln std stdio",
        rules=[("attributes", ANNOTATION), ("characters", r"'(?:\\.|[^'\\\n])'"), ("types", CAP_TYPE)],
        outline=[(r"^[ \t]*(?:(?:public|private|final|abstract|static)\s+)*(?:class|struct|interface|union|"
                  r"enum|template)\s+([A-Za-z_]\w*)", "$1", "class"),
                 (r"^[ \t]*(?:(?:public|private|static|pure|nothrow|@\w+|override|final|auto|ref)\s+)*"
                  r"[A-Za-z_][\w!.\[\]*]*\s+([A-Za-z_]\w*)\s*\([^;\n]*\)\s*[^;\n]*$", "$1", "function")],
        sample="module app;\nimport std.stdio;\n/+ nested +/\nstruct Point { int x; }\n@safe void main() {\n"
               "    char c = 'a';\n    writeln(\"hi\", `raw`);\n}\n",
    ),
    dict(
        name="Dart", ext=["dart"], interp=["dart"], strings=[DQ, SQ, ('"""', '"""', True), ("'''", "'''", True)],
        **C_COMMENTS,
        keywords="abstract as assert async await base break case catch class const continue covariant "
                 "default deferred do dynamic else enum export extends extension external factory false "
                 "final finally for get hide if implements import in interface is late library mixin new "
                 "null on operator part required rethrow return sealed set show static super switch sync "
                 "this throw true try typedef var void when while with yield",
        types="int double num bool String List Map Set Future Stream Object Iterable Function Never",
        rules=[("attributes", ANNOTATION), ("types", CAP_TYPE),
               ("variables", r"\$[A-Za-z_]\w*|\$\{[^}\n]*\}")],
        outline=[(r"^[ \t]*(?:abstract\s+|sealed\s+|base\s+|final\s+)*(?:class|mixin|enum|extension)\s+"
                  r"([A-Za-z_]\w*)", "$1", "class"),
                 (r"^[ \t]*(?:static\s+|external\s+)*(?:[A-Za-z_][\w<>?,\s]*\s+)?([a-z_]\w*)\s*\([^;\n]*\)\s*"
                  r"(?:async\s*)?\{", "$1", "function")],
        sample="// app\n@immutable\nclass Point {\n  final int x;\n  String show() {\n    return 'x = $x';\n  }\n}\n"
               "void main() {\n  print(\"hi\");\n}\n",
    ),
    dict(
        name="Diff", ext=["diff", "patch"],
        rules=[("comments", r"^(?:diff|index|similarity|rename|new file|deleted file|old mode|new mode)\b.*$"),
               ("keywords", r"^@@.*@@"), ("types", r"^(?:---|\+\+\+) .*$"),
               ("strings", r"^\+(?!\+\+ ).*$"), ("variables", r"^-(?!-- ).*$"),
               ("attributes", r"^\\ .*$")],
        outline=[(r"^\+\+\+ (?:b/)?(\S+)", "$1", "file"), (r"^@@ [^@\n]*@@[ \t]*(\S.*)$", "$1", "hunk")],
        sample="diff --git a/x.c b/x.c\n--- a/x.c\n+++ b/x.c\n@@ -1,2 +1,2 @@ int main()\n-old\n+new\n"
               " same\n\\ No newline at end of file\n",
    ),
    dict(
        name="Dockerfile", ext=["dockerfile"], files=["Dockerfile", "Containerfile"], line=["#"],
        strings=[DQ, SQ],
        # Instructions count only where a line begins (after ONBUILD too): "echo RUN" is no keyword.
        words=DOCKER_INSTRUCTIONS,
        rules=[("keywords", r"(?i)^[ \t]*(?:ONBUILD[ \t]+)?(?:" + DOCKER_INSTRUCTIONS.replace(" ", "|") + r")\b"),
               ("keywords", r"(?i)AS\b(?<=^[ \t]{0,8}FROM[ \t][^\n]{1,256}[ \t]AS)"),
               ("variables", r"\$(?:[A-Za-z_]\w*|\{[^}\n]+\})"),
               ("attributes", r"--[a-z][\w-]*(?==)"),
               ("commands", r"^[ \t]*#\s*(?:syntax|escape)=.*$")],
        outline=[(r"^[ \t]*FROM\s+(\S+(?:\s+AS\s+\S+)?)", "$1", "stage", True)],
        sample="# syntax=docker/dockerfile:1\nFROM debian:12 AS build\nARG VERSION=1\n"
               "COPY --chown=app . /src\nRUN echo \"$VERSION ${HOME}\" run from\nCMD [\"./app\"]\n",
    ),
    dict(
        name="Elixir", ext=["ex", "exs"], files=["mix.lock"], interp=["elixir"], line=["#"],
        strings=[DQ, ('"""', '"""', True), ("'''", "'''", True)],
        keywords="after alias and case catch cond def defdelegate defexception defguard defimpl defmacro "
                 "defmacrop defmodule defp defprotocol defstruct do else end false fn for if import in "
                 "nil not or quote raise receive require rescue super throw true try unless unquote use "
                 "when with",
        rules=[("values", r"(?<![\w:]):[A-Za-z_]\w*[?!]?|\b[a-z_]\w*:(?=\s)"),
               ("attributes", r"@[a-z_]\w*"), ("types", r"\b[A-Z][\w]*(?:\.[A-Z]\w*)*\b"),
               ("strings", r"~[a-zA-Z](?:\"(?:\\.|[^\"\\])*\"|/(?:\\.|[^/\\\n])*/|\((?:\\.|[^)\\\n])*\)|"
                           r"\[(?:\\.|[^\]\\\n])*\]|\{(?:\\.|[^}\\\n])*\})[a-zA-Z]*"),
               ("characters", r"\?(?:\\.|[^\s\\])")],
        outline=[(r"^[ \t]*(?:defmodule|defprotocol|defimpl)\s+([A-Z][\w.]*)", "$1", "module"),
                 (r"^[ \t]*(?:def|defp|defmacro|defmacrop|defguard)\s+([a-z_]\w*[?!]?)", "$1", "function")],
        sample="defmodule Greeter do\n  @moduledoc \"hi\"\n  # greet\n  def hello(name, opts \\\\ []) do\n"
               "    {:ok, ~r/a+/i, ?a, key: 1}\n  end\nend\n",
    ),
    dict(
        name="Elm", ext=["elm"], line=["--"], block=[("{-", "-}")], strings=[DQ, ('"""', '"""', True)],
        keywords="module exposing import as type alias port if then else case of let in where effect "
                 "command subscription True False",
        types="Int Float Bool Char String List Maybe Result Cmd Sub Html Msg Model Never",
        rules=[("types", CAP_TYPE), ("characters", r"'(?:\\.|[^'\\\n])'"),
               ("keywords", r"->|<-|\|>|<\||::")],
        outline=[(r"^type\s+(?:alias\s+)?([A-Z]\w*)", "$1", "type"),
                 (r"^([a-z_]\w*)\s*:", "$1", "function")],
        sample="module Main exposing (main)\n-- entry\ntype alias Model = { n : Int }\n"
               "update : Msg -> Model -> Model\nupdate msg model = model |> identity\nc = 'x'\n",
    ),
    dict(
        name="Erlang", ext=["erl", "hrl", "escript"], files=["rebar.config"], interp=["escript"],
        line=["%"], strings=[DQ],
        keywords="after and andalso band begin bnot bor bsl bsr bxor case catch cond div end fun if let "
                 "maybe not of or orelse receive rem try when xor true false undefined ok error",
        rules=[("commands", r"^-[a-z_]\w*"), ("variables", r"\b[A-Z_][\w]*\b"),
               ("characters", r"\$(?:\\.|\S)"), ("values", r"'(?:\\.|[^'\\\n])*'"),
               ("types", r"\?[A-Za-z_]\w*"), ("keywords", r"->|<-|=>")],
        outline=[(r"^([a-z]\w*|'[^'\n]+')\s*\([^\n]*\)\s*(?:when\s[^\n]*)?->", "$1", "function"),
                 (r"^-module\(\s*([a-z]\w*)", "$1", "module")],
        sample="-module(demo).\n-export([start/1]).\n% start it\nstart(Name) when is_list(Name) ->\n"
               "    X = $a, ?MODULE,\n    io:format(\"~s~n\", ['Hi', Name]).\n",
    ),
    dict(
        name="F#", ext=["fs", "fsi", "fsx"], line=["//"], block=[("(*", "*)")],
        strings=[DQ, ('"""', '"""', True), ('@"', '"')], escape={'@"': "double"},
        keywords="abstract and as assert base begin class default delegate do done downcast downto elif "
                 "else end exception extern false finally fixed for fun function global if in inherit "
                 "inline interface internal lazy let match member module mutable namespace new not null "
                 "of open or override private public rec return select sig static struct then to true "
                 "try type upcast use val void when while with yield",
        types="int int64 float float32 double decimal bool char string unit byte sbyte uint obj list "
              "option seq array Result Async Task",
        rules=[("attributes", r"\[<[^>\n]*>\]"), ("types", CAP_TYPE),
               ("characters", r"'(?:\\.|[^'\\\n])'"), ("keywords", r"->|<-|\|>|>>")],
        outline=[(r"^[ \t]*(?:module|namespace)\s+(?:rec\s+)?([A-Za-z_][\w.]*)", "$1", "module"),
                 (r"^[ \t]*type\s+(?:private\s+|internal\s+)?([A-Za-z_]\w*)", "$1", "type"),
                 (r"^[ \t]*let\s+(?:rec\s+|inline\s+|private\s+|mutable\s+)*([A-Za-z_]\w*)", "$1", "function")],
        sample="module App\n(* types *)\ntype Shape = Circle of float\n[<EntryPoint>]\n"
               "let main argv =\n    let c = 'x'\n    printfn \"hi\" |> ignore\n    0\n",
    ),
    dict(
        name="Fortran", ext=["f90", "f95", "f03", "f08", "f", "for", "f77"], line=["!"], strings=[DQ, SQ], escape="double",
        icase=True,
        keywords="allocatable allocate associate block call case character class close common complex "
                 "contains continue cycle data deallocate default dimension do double else elseif elsewhere "
                 "end enddo endif entry enum exit external format function go goto if implicit in inout "
                 "include integer intent interface intrinsic kind logical module namelist none nullify "
                 "only open optional out parameter pointer precision print private procedure program "
                 "public pure read real recursive result return save select sequence stop subroutine "
                 "target then to type use value where while write",
        rules=[("values", r"(?i)\.(?:true|false|and|or|not|eqv|neqv|eq|ne|lt|le|gt|ge)\."),
               ("comments", r"^\*.*$|^[Cc](?![ \t]*[=(%])(?:[ \t].*)?$")],
        outline=[(r"^[ \t]*(?:(?:pure|elemental|recursive|module)\s+)*(?:program|module|subroutine|function|"
                  r"(?:(?:integer|real|logical|character|complex|double\s+precision)(?:\([^)\n]*\))?\s+)"
                  r"function)\s+([A-Za-z_]\w*)", "$1", "function", True)],
        sample="program hello\n  implicit none\n  integer :: n = 2\n  ! say hi\n"
               "  if (n > 1 .and. .true.) print *, 'hi', \"there\"\ncontains\n"
               "  subroutine greet()\n  end subroutine\nend program\n"
               "C     fixed-form comment\n",
    ),
    dict(
        name="Git Config",
        files=[".gitconfig", ".gitmodules", ".gitattributes", ".gitignore", "gitconfig", ".git-blame-ignore-revs"],
        line=["#", ";"], strings=[DQ],
        keywords="true false yes no on off",
        rules=[("types", r"^[ \t]*\[[^\]\n]*\]"), ("attributes", r"^[ \t]*[A-Za-z][\w-]*(?=\s*=)"),
               ("values", r"^[ \t]*!.*$")],
        outline=[(r"^[ \t]*\[([^\]\n]+)\]", "$1", "section")],
        sample="# user\n[user]\n\tname = Ada\n\temail = \"ada@example.test\"\n[core]\n\tautocrlf = false\n"
               "!keep.log\n",
    ),
    dict(
        name="Go", ext=["go"], files=["go.mod", "go.work"], strings=[DQ, ("`", "`", True)], **C_COMMENTS,
        keywords="break case chan const continue default defer else fallthrough for func go goto if "
                 "import interface map package range return select struct switch type var true false nil "
                 "iota",
        types="any bool byte comparable complex64 complex128 error float32 float64 int int8 int16 int32 "
              "int64 rune string uint uint8 uint16 uint32 uint64 uintptr",
        words="append cap clear close complex copy delete imag len make max min new panic print println "
              "real recover",
        rules=[("characters", r"'(?:\\.|[^'\\\n])+'"), ("numbers", NUM_UNDERSCORE)],
        outline=[(r"^func\s+(?:\([^)\n]*\)\s*)?([A-Za-z_]\w*)", "$1", "function"),
                 (r"^type\s+([A-Za-z_]\w*)", "$1", "type")],
        sample="package main\n\nimport \"fmt\"\n\n// T is a type.\ntype T struct{ n int }\n\n"
               "func (t T) Show() string { return `raw` }\n\nfunc main() {\n\tr := 'x'\n"
               "\tfmt.Println(\"hi\", r, 1_000)\n}\n",
    ),
    dict(
        name="GraphQL", ext=["graphql", "graphqls", "gql"], line=["#"], strings=[DQ, ('"""', '"""', True)],
        keywords="query mutation subscription fragment on type interface union enum input scalar schema "
                 "extend implements directive repeatable true false null",
        types="Int Float String Boolean ID",
        rules=[("variables", r"\$[A-Za-z_]\w*"), ("attributes", r"@[A-Za-z_]\w*"), ("types", CAP_TYPE)],
        outline=[(r"^[ \t]*(?:extend\s+)?(?:type|interface|union|enum|input|scalar)\s+([A-Za-z_]\w*)", "$1", "type"),
                 (r"^[ \t]*(?:query|mutation|subscription|fragment)\s+([A-Za-z_]\w*)", "$1", "operation")],
        sample="# schema\ntype User @key(fields: \"id\") {\n  id: ID!\n}\nquery GetUser($id: ID!) {\n"
               "  user(id: $id) { name }\n}\n",
    ),
    dict(
        name="Groovy", ext=["groovy", "gvy", "gradle"], files=["Jenkinsfile"], interp=["groovy"],
        strings=[DQ, SQ, ('"""', '"""', True), ("'''", "'''", True)], **C_COMMENTS,
        keywords="abstract as assert break case catch class const continue def default do else enum "
                 "extends false final finally for goto if implements import in instanceof interface "
                 "native new null package private protected public return static super switch "
                 "synchronized this throw throws trait true try var void volatile while",
        types="boolean byte char double float int long short String Object List Map",
        rules=[("attributes", ANNOTATION), ("types", CAP_TYPE), ("variables", r"\$\{[^}\n]*\}|\$[A-Za-z_]\w*")],
        outline=[(r"^[ \t]*(?:(?:public|private|protected|abstract|final|static)\s+)*(?:class|interface|enum|"
                  r"trait)\s+([A-Za-z_]\w*)", "$1", "class"),
                 (r"^[ \t]*(?:(?:public|private|protected|static|final)\s+)*(?:def|void|[A-Z]\w*)\s+"
                  r"([A-Za-z_]\w*)\s*\(", "$1", "function")],
        sample="// build\n@CompileStatic\nclass Greeter {\n  def greet(String name) {\n"
               "    println \"Hello ${name} $name\"\n  }\n}\n",
    ),
    dict(
        name="Haskell", ext=["hs", "lhs"], interp=["runhaskell"], line=["--"],
        block=[("{-", "-}")], strings=[DQ],
        keywords="case class data default deriving do else family forall foreign hiding if import in "
                 "infix infixl infixr instance let mdo module newtype of proc qualified rec then type "
                 "where True False",
        rules=[("types", CAP_TYPE), ("characters", r"'(?:\\.|[^'\\\n])'"),
               ("attributes", r"\{-#.*?#-\}"), ("keywords", r"->|<-|=>|::")],
        outline=[(r"^([a-z_][\w']*)\s*::", "$1", "function"),
                 (r"^(?:data|newtype|type|class)\s+(?:\([^)\n]*\)\s*=>\s*)?([A-Z][\w']*)", "$1", "type")],
        sample="{-# LANGUAGE OverloadedStrings #-}\nmodule Main where\n-- entry\ndata Shape = Circle Double\n"
               "main :: IO ()\nmain = putStrLn \"hi\" >> print 'c'\n",
    ),
    dict(
        name="HCL", ext=["hcl", "tf", "tfvars", "nomad"], line=["#", "//"], block=[("/*", "*/")],
        strings=[DQ],
        keywords="resource data variable output locals module provider terraform for in if else endif "
                 "endfor true false null dynamic content each count",
        types="string number bool list map set object tuple any",
        rules=[("attributes", r"^[ \t]*[A-Za-z_][\w-]*(?=\s*=)"),
               ("variables", r"\$\{[^}\n]*\}|\b(?:var|local|module|data|each|count|path)\.[\w.-]+"),
               ("strings", r"<<-?([A-Z]+)\n(?s:.*?)\n\s*\1\b")],
        outline=[(r"^[ \t]*(resource|data|module|variable|output|provider)\s+(\"[^\"\n]*\"(?:\s+\"[^\"\n]*\")?)",
                  "$1 $2", "block")],
        sample="# vars\nvariable \"region\" {\n  type = string\n}\nresource \"aws_s3_bucket\" \"b\" {\n"
               "  bucket = \"${var.region}-logs\"\n  count = 2\n}\n"
               "  policy = <<EOT\n{}\nEOT\n",
    ),
    dict(
        name="INI", ext=["ini", "cfg", "conf", "inf", "desktop", "editorconfig"],
        files=[".editorconfig", ".npmrc", "setup.cfg", "tox.ini"], line=[";", "#"], strings=[DQ], escape="none",
        keywords="true false yes no on off",
        # A comment starts a line: ";" and "#" inside a value are part of it, so a value is a string
        # up to the line's end, unless it is a number or a flag.
        rules=[("types", r"^[ \t]*\[[^\]\n]*\]"), ("attributes", r"^[ \t]*[^=:;#\[\s][^=:\n]*?(?=\s*[=:])"),
               ("variables", r"\$\{[^}\n]*\}|%\([^)\n]*\)s"),
               ("strings", r"(?<=[=:][ \t]{0,16})(?![ \t\"]|(?:true|false|yes|no|on|off|-?\d+(?:\.\d+)?)[ \t]*$|\$\{|%\()"
                           + INI_VALUE + r"|(?<=\}|\)s)" + INI_VALUE
                           # A value that begins like a comment starts its token before that
                           # character, where the comment rule cannot take it.
                           + r"|(?:(?<=[=:])[ \t]+|[=:])(?=[#;])" + INI_VALUE)],
        outline=[(r"^[ \t]*\[([^\]\n]+)\]", "$1", "section")],
        sample="; settings\n[server]\nhost = localhost\nport: 8080\npath = ${root}/x\nname = \"demo\"\n"
               "color=#ff0000\nurl = http://x/#a;b\n# note\nenabled = true\n",
    ),
    dict(
        name="Java", ext=["java", "jav"], strings=[DQ, ('"""', '"""', True)], **C_COMMENTS,
        keywords="abstract assert break case catch class const continue default do else enum exports "
                 "extends final finally for goto if implements import instanceof interface module native "
                 "new non-sealed package permits private protected public record requires return sealed "
                 "static strictfp super switch synchronized this throw throws transient try var void "
                 "volatile when while yield true false null",
        types="boolean byte char double float int long short",
        words="String Object Integer List Map ArrayList HashMap System Override Exception Optional Stream",
        rules=[("attributes", ANNOTATION), ("types", CAP_TYPE), ("characters", r"'(?:\\.|[^'\\\n])+'"),
               ("numbers", NUM_UNDERSCORE + r"|\b\d+[lLfFdD]\b")],
        outline=[(r"^[ \t]*(?:(?:public|private|protected|abstract|final|static|sealed|non-sealed|strictfp)\s+)*"
                  r"(?:class|interface|enum|record|@interface)\s+([A-Za-z_]\w*)", "$1", "class"),
                 (r"^[ \t]*(?:(?:public|private|protected|abstract|final|static|synchronized|native|default)\s+)+"
                  r"(?:<[^>\n]*>\s*)?[\w<>\[\],.? ]+?\s+([A-Za-z_]\w*)\s*\([^;\n]*$", "$1", "method")],
        sample="package demo;\n/** Doc. */\n@Deprecated\npublic final class Main {\n"
               "    public static void main(String[] args) {\n        char c = 'x'; long n = 10L;\n"
               "        System.out.println(\"hi\");\n    }\n}\n",
    ),
    dict(
        name="JSX", ext=["jsx"], strings=[DQ, SQ, ("`", "`", True)], **C_COMMENTS,
        keywords="async await break case catch class const continue debugger default delete do else "
                 "export extends false finally for from function get if import in instanceof let new null "
                 "of return set static super switch this throw true try typeof undefined var void while "
                 "with yield",
        words="React useState useEffect useRef useMemo useCallback useContext Fragment props children "
              "className onClick",
        rules=[("types", r"</?[A-Z][\w.]*|</?[a-z][\w-]*(?=[\s/>])|/?>(?=[ \t]*$|\s*<)"),
               ("attributes", r"\b[A-Za-z_][\w-]*(?==[\"'{])"), ("types", CAP_TYPE),
               ("variables", r"\$\{[^}\n]*\}")],
        outline=[(r"^[ \t]*(?:export\s+)?(?:default\s+)?(?:async\s+)?(?:function|class)\s+([A-Za-z_$][\w$]*)",
                  "$1", "function"),
                 (r"^[ \t]*(?:export\s+)?const\s+([A-Z][\w$]*)\s*=", "$1", "component")],
        sample="// app\nexport default function App({ name }) {\n  const [n, setN] = useState(0);\n"
               "  return <div className=\"app\" onClick={() => setN(n + 1)}>\n    <Title text={`hi ${name}`} />\n"
               "  </div>;\n}\nconst Title = () => <h1>T</h1>;\n",
    ),
    dict(
        name="Julia", ext=["jl"], interp=["julia"], line=["#"], block=[("#=", "=#")],
        strings=[DQ, ('"""', '"""', True)],
        keywords="abstract baremodule begin break catch const continue do else elseif end export false "
                 "finally for function global if import in isa let local macro module mutable primitive "
                 "quote return struct true try type using where while nothing missing",
        types="Any Bool Char Float16 Float32 Float64 Int Int8 Int16 Int32 Int64 Integer Real Number "
              "String Symbol Vector Matrix Array Dict Tuple Nothing UInt8",
        rules=[("types", CAP_TYPE), ("attributes", r"@[A-Za-z_]\w*"),
               ("values", r"(?<![\w:]):[A-Za-z_]\w*"), ("characters", r"'(?:\\.|[^'\\\n])'")],
        outline=[(r"^[ \t]*(?:mutable\s+)?(?:struct|module|abstract\s+type)\s+([A-Za-z_]\w*)", "$1", "type"),
                 (r"^[ \t]*(?:function|macro)\s+([A-Za-z_][\w.!]*)", "$1", "function"),
                 (r"^([a-z_][\w!]*)\([^)\n]*\)\s*=[^=]", "$1", "function")],
        sample="module Demo\n#= block =#\nstruct Point\n    x::Float64\nend\nfunction norm(p)\n"
               "    @show p.x :sym 'c'\n    \"hi\"\nend\nsq(x) = x^2\nend\n",
    ),
    dict(
        name="Kotlin", ext=["kt", "kts"], strings=[DQ, ('"""', '"""', True)], **C_COMMENTS,
        keywords="abstract actual annotation as break by catch class companion const constructor continue "
                 "crossinline data delegate do dynamic else enum expect external false field file final "
                 "finally for fun get if import in infix init inline inner interface internal is lateinit "
                 "noinline null object open operator out override package param private property "
                 "protected public reified return sealed set super suspend tailrec this throw true try "
                 "typealias typeof val value var vararg when where while",
        types="Any Boolean Byte Char Double Float Int Long Nothing Short String Unit Array List Map Set",
        rules=[("attributes", ANNOTATION), ("types", CAP_TYPE), ("characters", r"'(?:\\.|[^'\\\n])+'"),
               ("variables", r"\$\{[^}\n]*\}|\$[A-Za-z_]\w*")],
        outline=[(r"^[ \t]*(?:(?:public|private|internal|protected|open|abstract|sealed|data|enum|inner|value|"
                  r"annotation|companion)\s+)*(?:class|interface|object)\s+([A-Za-z_]\w*)", "$1", "class"),
                 (r"^[ \t]*(?:(?:public|private|internal|protected|open|override|suspend|inline|operator|infix|"
                  r"tailrec|abstract)\s+)*fun\s+(?:<[^>\n]*>\s*)?(?:[\w.]+\.)?([A-Za-z_]\w*)", "$1", "function")],
        sample="// app\n@JvmInline\ndata class Point(val x: Int)\nfun main() {\n    val c = 'x'\n"
               "    println(\"hi $c ${c}\")\n}\n",
    ),
    dict(
        name="LaTeX", ext=["tex", "ltx", "sty", "cls", "dtx", "ins"], line=["%"],
        rules=[("commands", r"\\(?:[A-Za-z@]+\*?|.)"),
               ("keywords", r"\\(?:begin|end)\b"),
               ("types", r"(?<=\\begin\{|\\end\{)[^}\n]+"),
               ("strings", r"\$\$(?s:.*?)\$\$|\$(?:\\.|[^$\\\n])+\$|\\\((?s:.*?)\\\)|\\\[(?s:.*?)\\\]"),
               ("attributes", r"\[[^\]\n]*\]"),
               ("variables", r"#\d")],
        outline=[(r"^[ \t]*\\(?:part|chapter|section|subsection|subsubsection|paragraph)\*?\s*(?:\[[^\]\n]*\])?"
                  r"\{([^\n]*)\}", "$1", "heading")],
        sample="\\documentclass[a4paper]{article}\n% preamble\n\\newcommand{\\sq}[1]{#1^2}\n"
               "\\begin{document}\n\\section{Intro}\nText with $x^2$ math.\n\\end{document}\n",
    ),
    dict(
        name="Less", ext=["less"], **C_COMMENTS, strings=[DQ, SQ],
        keywords="important when and not default",
        rules=[("variables", r"@@?[A-Za-z_-][\w-]*"),
               ("attributes", r"(?m)^[ \t]*[-A-Za-z]+(?=\s*:)|(?<=[;{])\s*[-A-Za-z]+(?=\s*:)"),
               ("numbers", r"#[0-9A-Fa-f]{3,8}\b|\b\d+(?:\.\d+)?(?:%|px|em|rem|vh|vw|s|ms|deg|fr)?\b"),
               ("types", r"(?<![\w-])[.#][A-Za-z_-][\w-]*(?=[^;\n]*[{,(])|&"),
               ("commands", r"\b(?:darken|lighten|fade|mix|rgba?|hsla?|percentage|ceil|floor|url|calc|e|"
                            r"escape|extend)(?=\()")],
        outline=[(r"^[ \t]*([^@\s/][^{\n;]*?)\s*\{", "$1", "rule")],
        sample="// vars\n@main: #336699;\n.box(@w) { width: @w; }\n.card {\n  color: darken(@main, 10%);\n"
               "  &:hover { .box(10px); }\n}\n",
    ),
    dict(
        name="Lisp", ext=["lisp", "lsp", "cl", "el", "asd"], files=[".emacs", ".sbclrc"],
        interp=["sbcl", "clisp", "emacs"], line=[";"], block=[("#|", "|#")], strings=[DQ], icase=True,
        keywords="defun defmacro defvar defparameter defconstant defclass defmethod defgeneric defstruct "
                 "defpackage in-package lambda let let* flet labels progn prog1 if when unless cond case "
                 "loop do dolist dotimes return return-from block tagbody go catch throw "
                 "unwind-protect handler-case setq setf quote function and or not nil t",
        words="car cdr cons list append mapcar funcall apply format print length nth first rest",
        rules=[("values", r"(?<![\w-]):[A-Za-z0-9*+!?<>=/-]+"),
               ("characters", r"#\\(?:[A-Za-z]+|.)"),
               ("variables", r"\*[A-Za-z0-9-]+\*"),
               ("attributes", r"(?<=\(|\s)&(?:optional|rest|key|body|aux|allow-other-keys)\b")],
        outline=[(r"^[ \t]*\((?:defun|defmacro|defgeneric|defmethod|defclass|defstruct|defvar|defparameter|"
                  r"defconstant)\s+([^\s()]+)", "$1", "function", True)],
        sample="(in-package :cl-user)\n;; square\n(defvar *count* 0)\n(defun square (x &optional (y 1))\n"
               "  (format t \"~a~%\" (* x x y #\\a)))\n",
    ),
    dict(
        name="Lua", ext=["lua", "rockspec"], interp=["lua", "luajit"], line=["--"], block=[("--[[", "]]")],
        strings=[DQ, SQ, ("[[", "]]", True)],
        keywords="and break do else elseif end false for function goto if in local nil not or repeat "
                 "return then true until while",
        words="print pairs ipairs type tostring tonumber require setmetatable getmetatable pcall error "
              "assert select table string math io os coroutine",
        rules=[("comments", r"--\[(=*)\[(?s:.*?)\]\1\]"), ("strings", r"\[(=+)\[(?s:.*?)\]\1\]"),
               ("variables", r"\bself\b"), ("attributes", r"<(?:const|close)>")],
        outline=[(r"^[ \t]*(?:local\s+)?function\s+([A-Za-z_][\w.:]*)", "$1", "function"),
                 (r"^[ \t]*(?:local\s+)?([A-Za-z_][\w.]*)\s*=\s*function\b", "$1", "function")],
        sample="-- module\nlocal M = {}\n--[==[ long\ncomment ]==]\nfunction M.greet(self, name)\n"
               "  local x <const> = [[raw]] .. [=[x]=]\n  print(\"hi \" .. name)\nend\n"
               "M.other = function() end\nreturn M\n",
    ),
    dict(
        name="Makefile", ext=["mk", "mak", "make"], files=["Makefile", "makefile", "GNUmakefile", "Kbuild"],
        line=["#"],
        keywords="ifeq ifneq ifdef ifndef else endif include sinclude define endef export "
                 "unexport override private vpath",
        words="subst patsubst strip findstring filter filter-out sort word wordlist words firstword "
              "lastword dir notdir suffix basename addsuffix addprefix join wildcard realpath abspath "
              "if or and foreach call eval origin flavor shell error warning info",
        rules=[("variables", r"\$\([^()\n]*\)|\$\{[^}\n]*\}|\$[@<^?*%+|]|\$\$?[A-Za-z_]"),
               ("types", r"^[^\s:#=][^:#=\n]*?(?=\s*::?(?!=))"),
               ("attributes", r"^\.(?:PHONY|SUFFIXES|DEFAULT|PRECIOUS|INTERMEDIATE|SECONDARY|DELETE_ON_ERROR|"
                              r"ONESHELL|SILENT|NOTPARALLEL)\b"),
               ("variables", r"^[ \t]*[A-Za-z_][\w.]*(?=\s*(?:[:+?!]?=))")],
        outline=[(r"^([^\s:#=.][^:#=\n]*?)\s*::?(?!=)", "$1", "target")],
        sample="# build\nCC ?= cc\nOBJS := $(patsubst %.c,%.o,$(wildcard *.c))\n.PHONY: all\n"
               "all: app\napp: $(OBJS)\n\t$(CC) -o $@ $^ ${LDFLAGS}\n",
    ),
    dict(
        name="MATLAB", files=["startup.m", "finish.m", "Contents.m", ".octaverc", "octaverc"],
        interp=["octave", "matlab"], line=["%"], block=[("%{", "%}")],
        keywords="break case catch classdef continue else elseif end for function global if otherwise "
                 "parfor persistent return spmd switch try while properties methods events enumeration "
                 "true false",
        words="disp fprintf sprintf zeros ones size length numel plot figure hold linspace sum mean max min "
              "abs sqrt exp log error isempty",
        # After a name, a closing bracket, a dot or a quote, "'" transposes instead of quoting.
        rules=[("comments", r"(?m)^[ \t]*%\{[ \t]*$(?s:.*?)^[ \t]*%\}[ \t]*$"),
               ("strings", r"(?<![\w)\]}.'])'(?:''|[^'\n])*'|\"(?:\"\"|[^\"\n])*\""),
               ("commands", r"^[ \t]*!.*$"), ("values", r"\b(?:pi|eps|Inf|NaN|end)\b")],
        outline=[(r"^[ \t]*function\s+(?:\[[^\]\n]*\]\s*=\s*|\w+\s*=\s*)?([A-Za-z_]\w*)", "$1", "function"),
                 (r"^[ \t]*classdef\s+(?:\([^)\n]*\)\s*)?([A-Za-z_]\w*)", "$1", "class")],
        sample="% demo\nfunction [s, m] = stats(x)\n%{\nblock\n%}\n  s = sum(x') * pi;\n"
               "  disp('done'); disp(\"two\");\nend\n"
               "!ls\nclassdef Point < handle\nend\n",
    ),
    dict(
        name="nginx", files=["nginx.conf", "mime.types", "fastcgi_params", "uwsgi_params"], line=["#"],
        strings=[DQ, SQ],
        keywords="access_log add_header alias allow auth_basic autoindex client_max_body_size default_type "
                 "deny error_log error_page events expires fastcgi_pass gzip gzip_types http if include "
                 "index keepalive_timeout limit_req listen location log_format map proxy_buffering "
                 "proxy_pass proxy_redirect proxy_set_header return rewrite root sendfile server "
                 "server_name ssl_certificate ssl_certificate_key ssl_protocols stream try_files "
                 "upstream user worker_connections worker_processes on off",
        rules=[("variables", r"\$[A-Za-z_]\w*|\$\{[A-Za-z_]\w*\}"),
               ("types", r"(?<=location)\s+(?:[=~^*]+\s*)?[^\s{]+"),
               ("numbers", r"\b\d+[kKmMgGsShd]?\b")],
        outline=[(r"^[ \t]*((?:server|location|upstream|http|events|stream|map)\b[^{\n]*?)\s*\{", "$1", "block")],
        sample="# main\nworker_processes 4;\nhttp {\n  server {\n    listen 80;\n    client_max_body_size 10m;\n"
               "    location ~ /api {\n      proxy_pass http://backend$request_uri;\n"
               "      add_header X-Id \"a\";\n    }\n  }\n}\n",
    ),
    dict(
        name="Nim", ext=["nim", "nims", "nimble"], interp=["nim"], line=["#"], block=[("#[", "]#")],
        strings=[DQ, ('"""', '"""', True)],
        keywords="addr and as asm bind block break case cast concept const continue converter defer "
                 "discard distinct div do elif else end enum except export finally for from func if "
                 "import in include interface is isnot iterator let macro method mixin mod nil not notin "
                 "object of or out proc ptr raise ref return shl shr static template try tuple type using "
                 "var when while xor yield true false",
        types="int int8 int16 int32 int64 uint uint8 uint16 uint32 uint64 float float32 float64 bool "
              "char string cstring seq array set openArray void auto untyped typed",
        rules=[("types", CAP_TYPE), ("attributes", r"\{\.[^}\n]*\.?\}"),
               ("characters", r"'(?:\\.|[^'\\\n])'")],
        outline=[(r"^[ \t]*(?:proc|func|method|iterator|template|macro|converter)\s+`?([A-Za-z_]\w*)", "$1",
                  "function"),
                 (r"^[ \t]*([A-Z]\w*)\*?\s*=\s*(?:ref\s+|ptr\s+)?(?:object|enum|tuple|distinct|concept)\b", "$1", "type")],
        sample="# demo\ntype\n  Point* = object\n    x: int\nproc show*(p: Point): string {.inline.} =\n"
               "  result = \"hi\" & $'c'\n",
    ),
    dict(
        name="Nix", ext=["nix"], line=["#"], block=[("/*", "*/")], strings=[DQ, ("''", "''", True)],
        keywords="assert else if in inherit let or rec then with true false null import builtins",
        rules=[("variables", r"\$\{[^}\n]*\}"), ("attributes", r"\b[A-Za-z_][\w'-]*(?=\s*=(?!=))"),
               ("strings", r"(?:\./|~/|/)[\w./-]+|<[\w./-]+>")],
        outline=[(r"^\s{0,2}([A-Za-z_][\w'-]*)\s*=", "$1", "attribute")],
        sample="# pkg\n{ pkgs ? import <nixpkgs> {} }:\nlet\n  name = \"demo\";\nin pkgs.stdenv.mkDerivation {\n"
               "  inherit name;\n  src = ./src;\n  buildPhase = ''\n    make ${name}\n  '';\n}\n",
    ),
    dict(
        name="Objective-C", ext=["m", "mm"], strings=[DQ, ('@"', '"')], **C_COMMENTS,
        keywords="auto break case char const continue default do double else enum extern float for goto "
                 "if inline int long register restrict return short signed sizeof static struct switch "
                 "typedef union unsigned void volatile while self super nil Nil YES NO true false NULL "
                 "id instancetype nonatomic atomic strong weak copy assign readonly readwrite nullable "
                 "nonnull class new delete try catch throw namespace template typename this",
        types="BOOL SEL IMP NSInteger NSUInteger CGFloat NSString NSArray NSDictionary NSNumber NSObject",
        rules=[("keywords", r"@(?:interface|implementation|protocol|end|property|synthesize|dynamic|class|"
                            r"selector|encode|optional|required|try|catch|finally|throw|autoreleasepool|"
                            r"import|public|private|protected|package|available)\b"),
               ("commands", r"^[ \t]*#\s*(?:import|include|define|undef|if|ifdef|ifndef|elif|else|endif|pragma|"
                            r"error|warning)\b"),
               ("strings", r"(?<=#import|#include)\s*<[^>\n]*>"), ("types", CAP_TYPE),
               ("characters", r"'(?:\\.|[^'\\\n])'")],
        outline=[(r"^[ \t]*@(?:interface|implementation|protocol)\s+([A-Za-z_]\w*(?:\s*\([^)\n]*\))?)", "$1", "class"),
                 (r"^[ \t]*([-+]\s*\([^)\n]*\)\s*[A-Za-z_]\w*(?::\s*\([^)\n]*\)\s*\w+(?:\s+\w+:\s*\([^)\n]*\)\s*\w+)*)?)",
                  "$1", "method"),
                 (r"^[ \t]*#pragma\s+mark\s+-?\s*(.+)$", "$1", "mark")],
        sample="#import <Foundation/Foundation.h>\n// app\n@interface Greeter : NSObject\n"
               "@property (nonatomic, copy) NSString *name;\n@end\n@implementation Greeter\n#pragma mark - API\n"
               "- (void)greet:(NSString *)who {\n    char c = 'x';\n    NSLog(@\"hi %@\", who);\n}\n@end\n",
    ),
    dict(
        name="OCaml", ext=["ml", "mli", "mll", "mly"], interp=["ocaml"], block=[("(*", "*)")], strings=[DQ],
        keywords="and as assert begin class constraint do done downto else end exception external false "
                 "for fun function functor if in include inherit initializer lazy let match method module "
                 "mutable new nonrec object of open or private rec sig struct then to true try type val "
                 "virtual when while with",
        types="int float bool char string unit list array option ref exn bytes",
        rules=[("types", CAP_TYPE), ("characters", r"'(?:\\.|[^'\\\n])'"),
               ("strings", r"\{([a-z_]*)\|(?s:.*?)\|\1\}"), ("attributes", r"\[@@?@?[^\]\n]*\]")],
        outline=[(r"^[ \t]*let\s+(?:rec\s+)?([a-z_][\w']*)", "$1", "function"),
                 (r"^[ \t]*(?:type|module(?:\s+type)?|class|exception)\s+(?:rec\s+|nonrec\s+)?([A-Za-z_][\w']*)",
                  "$1", "type")],
        sample="(* demo *)\nmodule M = struct\n  type t = A | B [@@deriving show]\n  let rec f x = if x then 'c' else 'd'\n"
               "  let s = {|raw|} ^ \"hi\"\nend\n"
               "let n : int option = None\n",
    ),
    dict(
        name="Pascal", ext=["pas", "pp", "dpr", "lpr", "inc"], line=["//"], block=[("(*", "*)")],
        strings=[SQ], escape="double", icase=True,
        keywords="and array as asm begin case class const constructor destructor div do downto else end "
                 "except exports file finalization finally for function goto if implementation in "
                 "inherited initialization inline interface is label library mod nil not object of on or "
                 "out packed private procedure program property protected public published raise record "
                 "repeat set shl shr string then threadvar to try type unit until uses var while with xor "
                 "true false override virtual",
        types="Integer Cardinal Int64 Byte Word Real Double Single Extended Boolean Char String "
              "AnsiString WideString Pointer TObject",
        rules=[("comments", r"\{(?!\$)(?s:.*?)\}"), ("commands", r"\{\$[^}\n]*\}"), ("characters", r"#\d+|#\$[0-9A-Fa-f]+"),
               ("numbers", r"\$[0-9A-Fa-f]+\b")],
        outline=[(r"^[ \t]*(?:class\s+)?(?:procedure|function|constructor|destructor)\s+([A-Za-z_][\w.]*)",
                  "$1", "function", True),
                 (r"^[ \t]*([A-Za-z_]\w*)\s*=\s*(?:packed\s+)?(?:class|record|object|interface)\b", "$1", "type", True)],
        sample="program Hello;\n{$mode objfpc}\n// main\ntype\n  TPoint = record X: Integer; end;\n"
               "procedure Greet(const S: String);\nbegin\n  WriteLn('Hi ', S, #10, $FF);\nend;\n"
               "begin\n  Greet('you');\nend.\n"
               "{ a comment }\n",
    ),
    dict(
        name="Perl", ext=["pl", "pm", "t", "pod", "psgi"], interp=["perl"], line=["#"], strings=[DQ, SQ],
        keywords="if elsif else unless while until for foreach do last next redo return sub my our local "
                 "state use no package require BEGIN END and or not xor eq ne lt gt le ge cmp qw q qq "
                 "undef defined wantarray",
        words="print printf say open close chomp split join push pop shift unshift keys values each map "
              "grep sort die warn ref bless scalar length substr sprintf exists delete",
        rules=[("variables", r"[$@%]\$?(?:[A-Za-z_]\w*(?:::\w+)*|\{[^}\n]*\}|[0-9&`'+_./\\,;!@])"),
               ("comments", r"^=[A-Za-z]\w*(?s:.*?)(?:^=cut\b.*$|\z)"),
               ("strings", r"\b(?:qw|q|qq|qr|m)\s*(?:\((?:\\.|[^)\\])*\)|\{(?:\\.|[^}\\])*\}|/(?:\\.|[^/\\\n])*/)"),
               ("strings", r"(?<=[=!]~)\s*(?:s|tr|y)?/(?:\\.|[^/\\\n])*/(?:(?:\\.|[^/\\\n])*/)?[a-z]*"),
               ("types", r"\b[A-Z]\w*(?:::\w+)+\b")],
        outline=[(r"^[ \t]*sub\s+([A-Za-z_][\w:]*)", "$1", "function"),
                 (r"^[ \t]*package\s+([A-Za-z_][\w:]*)", "$1", "package")],
        sample="#!/usr/bin/perl\npackage My::Mod;\nuse strict;\n\n=pod\n\nDocs\n\n=cut\n\nsub greet {\n"
               "    my ($name, @rest) = @_;\n    my @w = qw(a b);\n    $name =~ s/x/y/g;\n    print \"hi $name\\n\";\n}\n",
    ),
    dict(
        name="PHP", ext=["php", "phtml", "php3", "php4", "php5", "phps"], interp=["php"],
        line=["//", "#"], block=[("/*", "*/")], strings=[DQ, SQ],
        keywords="abstract and array as break callable case catch class clone const continue declare "
                 "default do echo else elseif empty enddeclare endfor endforeach endif endswitch endwhile "
                 "enum extends final finally fn for foreach function global goto if implements include "
                 "include_once instanceof insteadof interface isset list match namespace new or print "
                 "private protected public readonly require require_once return static switch throw "
                 "trait try unset use var while xor yield true false null self parent",
        types="int float bool string void mixed object iterable never",
        rules=[("variables", r"\$[A-Za-z_]\w*"), ("commands", r"<\?(?:php|=)?|\?>"),
               ("attributes", r"#\[[^\]\n]*\]"), ("types", CAP_TYPE),
               ("strings", r"<<<\s*['\"]?([A-Za-z_]\w*)['\"]?\n(?s:.*?)\n\s*\1\b")],
        outline=[(r"^[ \t]*(?:(?:abstract|final|readonly)\s+)*(?:class|interface|trait|enum)\s+([A-Za-z_]\w*)",
                  "$1", "class"),
                 (r"^[ \t]*(?:(?:public|private|protected|static|abstract|final)\s+)*function\s+&?([A-Za-z_]\w*)",
                  "$1", "function")],
        sample="<?php\n// app\n#[Attribute]\nfinal class Greeter {\n    public function greet(string $name): string {\n"
               "        $t = <<<EOT\nhi\nEOT;\n        return \"hi $name\" . 'x';\n    }\n}\n?>\n",
    ),
    dict(
        name="PowerShell", ext=["ps1", "psm1", "psd1"], interp=["pwsh", "powershell"], line=["#"],
        block=[("<#", "#>")], strings=[DQ, SQ, ('@"', '"@', True), ("@'", "'@", True)], escape="double", icase=True,
        keywords="begin break catch class continue data default do dynamicparam else elseif end enum "
                 "exit filter finally for foreach from function hidden if in param process return static "
                 "switch throw trap try until using while workflow",
        words="Write-Host Write-Output Get-ChildItem Get-Content Set-Content Get-Item New-Item Remove-Item "
              "Select-Object Where-Object ForEach-Object Invoke-Command Import-Module",
        rules=[("variables", r"\$(?:[A-Za-z_][\w:]*|\{[^}\n]*\})"),
               ("values", r"(?i)-" + POWERSHELL_OPERATORS + r"\b"),
               ("types", r"\[[A-Za-z_][\w.\[\]]*\]"),
               ("commands", r"\b[A-Z][a-z]+-[A-Z][A-Za-z]+\b"),
               ("attributes", r"(?<=\s)-(?!" + POWERSHELL_OPERATORS + r"\b)[A-Za-z][\w]*")],
        outline=[(r"^[ \t]*(?:function|filter|workflow)\s+([A-Za-z_][\w-]*)", "$1", "function", True),
                 (r"^[ \t]*(?:class|enum)\s+([A-Za-z_]\w*)", "$1", "class", True)],
        sample="<# help #>\nfunction Get-Greeting {\n    param([string]$Name)\n    # say it\n"
               "    if ($Name -eq \"\") { $Name = 'you' }\n    Write-Output \"Hi $Name\" | Select-Object -First 1\n}\n"
               "class Point { [int]$X }\n",
    ),
    dict(
        name="Properties", ext=["properties"], line=["#", "!"],
        # A value runs to the line's end ("#" and "!" in it are no comments); it stops only for an
        # escape or a ${...} and goes on after it.
        rules=[("attributes", r"^[ \t]*(?:\\.|[^=:\s#!\\])+"), ("variables", r"\$\{[^}\n]*\}"),
               ("characters", r"\\u[0-9A-Fa-f]{4}|\\."),
               ("strings", r"(?<=[=:][ \t]{0,16})(?![ \t\\]|\$\{)" + PROPERTY_VALUE
                           + r"|(?<=\\u[0-9A-Fa-f]{4}|\\[^u\n]|\})" + PROPERTY_VALUE
                           + r"|(?:(?<=[=:])[ \t]+|[=:])(?=[#!])" + PROPERTY_VALUE)],
        sample="# app\napp.name = Demo\npath: ${user.home}/x\nmsg=caf\\u00e9 au lait\ncolor=#ff0000\n"
               "url = http://x/#a!b\n! legacy comment\n",
    ),
    dict(
        name="Protocol Buffers", ext=["proto"], strings=[DQ, SQ], **C_COMMENTS,
        keywords="syntax edition package import public weak option message enum service rpc returns stream "
                 "oneof map repeated optional required reserved extend extensions to max true false",
        types="double float int32 int64 uint32 uint64 sint32 sint64 fixed32 fixed64 sfixed32 sfixed64 "
              "bool string bytes",
        rules=[("types", CAP_TYPE), ("attributes", r"\[[A-Za-z_][^\]\n]*\]")],
        outline=[(r"^[ \t]*(?:message|enum|service)\s+([A-Za-z_]\w*)", "$1", "type"),
                 (r"^[ \t]*rpc\s+([A-Za-z_]\w*)", "$1", "function")],
        sample="syntax = \"proto3\";\n// user\nmessage User {\n  string name = 1 [deprecated = true];\n}\n"
               "service Users {\n  rpc Get (User) returns (User);\n}\n",
    ),
    dict(
        name="R", ext=["r", "rprofile"], files=[".Rprofile"], interp=["Rscript"], line=["#"],
        strings=[DQ, SQ],
        keywords="if else repeat while function for in next break TRUE FALSE NULL Inf NaN NA NA_integer_ "
                 "NA_real_ NA_character_ library require return",
        words="c list vector matrix data.frame print cat paste paste0 length names sum mean apply sapply "
              "lapply stop warning",
        rules=[("keywords", r"<<?-|->>?|\|>"), ("attributes", r"`[^`\n]+`"),
               ("numbers", r"\b\d+(?:\.\d+)?(?:[eE][+-]?\d+)?L\b")],
        outline=[(r"^[ \t]*([A-Za-z.][\w.]*)\s*(?:<-|=)\s*function\b", "$1", "function"),
                 (r"^#+[ \t]*([^#\s][^\n]{0,80}?)[ \t]*[-=#]{4,}[ \t]*$", "$1", "section")],
        sample="# Setup ----\nsquare <- function(x) {\n  x^2\n}\nn <- 10L\n`my var` <- c(\"a\", 'b') |> length()\n",
    ),
    dict(
        name="reStructuredText", ext=["rst", "rest"],
        rules=[("comments", r"^\.\.(?![ \t]+(?:[\w-]+::|_|\[|\|))(?:[ \t].*)?$"),
               ("commands", r"^[ \t]*\.\.[ \t]+[\w-]+::"),
               ("types", r"^([=\-`:'\"~^_*+#<>])\1{3,}[ \t]*$"),
               ("strings", r"``[^`\n]+``"),
               ("variables", r":[\w-]+:`[^`\n]+`|`[^`\n]+`_{0,2}"),
               ("attributes", r"^[ \t]*:[\w -]+:(?=\s)|^[ \t]*\.\.[ \t]+(?:_[^:\n]+:|\[[^\]\n]+\]|\|[^|\n]+\|)")],
        outline=[(r"^([^\s.][^\n]*)\n([=\-`:'\"~^_*+#<>])\2{2,}[ \t]*$", "$1", "heading")],
        sample="Title\n=====\n\n.. note:: Read ``this`` and :ref:`that` and `link`_.\n\n.. a comment\n\n"
               ".. _link: https://example.test\n\n:author: Me\n",
    ),
    dict(
        name="Ruby", ext=["rb", "rake", "gemspec", "ru", "rbw"],
        files=["Gemfile", "Rakefile", "Guardfile", "Podfile", "Vagrantfile", "Brewfile"], interp=["ruby"],
        line=["#"], block=[("=begin", "=end")], strings=[DQ, SQ],
        keywords="BEGIN END alias and begin break case class def defined? do else elsif end ensure false "
                 "for if in module next nil not or redo rescue retry return self super then true undef "
                 "unless until when while yield __FILE__ __LINE__ __method__ require require_relative "
                 "include extend attr_reader attr_writer attr_accessor private protected public raise",
        rules=[("types", CAP_TYPE), ("values", r"(?<![\w:]):[A-Za-z_]\w*[?!=]?|\b[a-z_]\w*:(?=\s)"),
               ("variables", r"@@?[A-Za-z_]\w*|\$[A-Za-z_]\w*|#\{[^}\n]*\}"),
               ("strings", r"%[qQwWiI]?(?:\((?:\\.|[^)\\])*\)|\[(?:\\.|[^\]\\])*\]|\{(?:\\.|[^}\\])*\})"),
               ("strings", r"(?<=[=(,~]|\bwhen|\bif)\s*/(?:\\.|[^/\\\n])+/[imxo]*")],
        outline=[(r"^[ \t]*(?:class|module)\s+([A-Z][\w:]*)", "$1", "class"),
                 (r"^[ \t]*def\s+((?:self\.)?[A-Za-z_]\w*[?!=]?)", "$1", "function")],
        sample="# app\nmodule App\n  class Greeter\n    attr_reader :name\n    def greet(who: nil)\n"
               "      @n = %w[a b]\n      ok = who =~ /x+/i\n      puts \"hi #{who}\"\n    end\n  end\nend\n",
    ),
    dict(
        name="Rust", ext=["rs"], strings=[DQ], **C_COMMENTS,
        keywords="as async await break const continue crate dyn else enum extern false fn for if impl in "
                 "let loop match mod move mut pub ref return self Self static struct super trait true type "
                 "union unsafe use where while yield macro_rules",
        types="bool char i8 i16 i32 i64 i128 isize u8 u16 u32 u64 u128 usize f32 f64 str String Vec "
              "Option Result Box Rc Arc Some None Ok Err",
        rules=[("types", CAP_TYPE), ("attributes", r"#!?\[[^\]\n]*\]"),
               ("characters", r"b?'(?:\\.|[^'\\\n])'"), ("variables", r"'[a-z_]\w*\b(?!')"),
               ("commands", r"\b[a-z_]\w*!"), ("strings", r"\bb?r(#*)\"(?s:.*?)\"\1"),
               ("numbers", r"\b\d[\d_]*(?:\.\d[\d_]*)?(?:[eE][+-]?\d+)?(?:[iu](?:8|16|32|64|128|size)|f32|f64)?\b|"
                           r"\b0[xob][0-9A-Fa-f_]+(?:[iu](?:8|16|32|64|128|size))?\b")],
        outline=[(r"^[ \t]*(?:pub(?:\([^)\n]*\))?\s+)?(?:(?:const|async|unsafe|extern\s+\"[^\"\n]*\")\s+)*fn\s+"
                  r"([A-Za-z_]\w*)", "$1", "function"),
                 (r"^[ \t]*(?:pub(?:\([^)\n]*\))?\s+)?(?:struct|enum|trait|union|type|mod)\s+([A-Za-z_]\w*)",
                  "$1", "type"),
                 (r"^[ \t]*impl(?:<[^>\n]*>)?\s+([^{\n]+?)\s*(?:where\b[^{\n]*)?\{", "impl $1", "impl")],
        sample="// demo\n#[derive(Debug)]\npub struct Point<'a> { name: &'a str }\nimpl<'a> Point<'a> {\n"
               "    pub fn new() -> Self {\n        let c = 'x'; let n = 1_000u32;\n"
               "        println!(\"hi {}\", r#\"raw\"#);\n        todo!()\n    }\n}\n",
    ),
    dict(
        name="Sass", ext=["sass"], line=["//"], block=[("/*", "*/")], strings=[DQ, SQ],
        keywords="important default global optional",
        rules=[("variables", r"\$[A-Za-z_-][\w-]*"),
               ("keywords", r"@[A-Za-z-]+|^[ \t]*[=+]"),
               ("attributes", r"(?m)^[ \t]*[-A-Za-z]+(?=\s*:)"),
               ("numbers", r"#[0-9A-Fa-f]{3,8}\b|\b\d+(?:\.\d+)?(?:%|px|em|rem|vh|vw|s|ms|deg|fr)?\b"),
               ("types", r"(?<![\w-])[.#%][A-Za-z_-][\w-]*|&")],
        outline=[(r"^([^\s@$/=+][^:\n]*[^:\n\s])[ \t]*$", "$1", "rule")],
        sample="// base\n$main: #333\n=center\n  margin: 0 auto\n.card\n  color: $main\n  +center\n  &:hover\n"
               "    width: 10px\n@use \"x\"\n",
    ),
    dict(
        name="Scala", ext=["scala", "sc", "sbt"], interp=["scala"], strings=[DQ, ('"""', '"""', True)],
        **C_COMMENTS,
        keywords="abstract case catch class def do else enum export extends false final finally for forSome "
                 "given if implicit import lazy match new null object override package private protected "
                 "return sealed super then this throw trait true try type using val var while with yield "
                 "inline opaque transparent derives end extension",
        types="Any AnyRef AnyVal Boolean Byte Char Double Float Int Long Nothing Null Short String Unit "
              "List Map Option Seq Set Vector Some None Either",
        rules=[("attributes", ANNOTATION), ("types", CAP_TYPE), ("characters", r"'(?:\\.|[^'\\\n])'"),
               ("variables", r"\$\{[^}\n]*\}|\$[A-Za-z_]\w*")],
        outline=[(r"^[ \t]*(?:(?:abstract|final|sealed|case|implicit|private|protected|open)\s+)*(?:class|trait|"
                  r"object|enum)\s+([A-Za-z_]\w*)", "$1", "class"),
                 (r"^[ \t]*(?:(?:override|private|protected|final|implicit|inline)\s+)*def\s+([A-Za-z_]\w*|`[^`\n]+`)",
                  "$1", "function")],
        sample="// app\n@main\nobject Main {\n  case class Point(x: Int)\n  def greet(name: String): Unit =\n"
               "    println(s\"hi $name ${'c'}\")\n}\n",
    ),
    dict(
        name="Scheme", ext=["scm", "ss", "sld", "sls", "rkt"], interp=["guile", "racket", "chicken"],
        line=[";"], block=[("#|", "|#")], strings=[DQ],
        keywords="define define-syntax define-record-type define-library lambda let let* letrec letrec* "
                 "let-values if cond case and or when unless do begin set! quote quasiquote unquote "
                 "syntax-rules delay import export library else",
        words="car cdr cons list append map for-each apply display newline vector length null? pair? "
              "eq? equal? not",
        rules=[("values", r"#[tf]\b|#true\b|#false\b"), ("characters", r"#\\(?:[A-Za-z]+|.)"),
               ("comments", r"#;"), ("attributes", r"#:[\w-]+")],
        outline=[(r"^[ \t]*\((?:define|define-syntax|define-record-type)\s+\(?([^\s()]+)", "$1", "function")],
        sample="; demo\n(define (square x) (* x x))\n(define-syntax swap! (syntax-rules () ((_ a b) #t)))\n"
               "(display \"hi\" #\\a) #;(ignored) #:key\n",
    ),
    dict(
        name="SCSS", ext=["scss"], **C_COMMENTS, strings=[DQ, SQ],
        keywords="important default global optional from through to if else each for while in and or not",
        rules=[("variables", r"\$[A-Za-z_-][\w-]*|--[-A-Za-z0-9_]+"),
               ("keywords", r"@[A-Za-z-]+"),
               ("attributes", r"(?m)^[ \t]*[-A-Za-z]+(?=\s*:[^:])|(?<=[;{])\s*[-A-Za-z]+(?=\s*:)"),
               ("numbers", r"#[0-9A-Fa-f]{3,8}\b|\b\d+(?:\.\d+)?(?:%|px|em|rem|vh|vw|s|ms|deg|fr)?\b"),
               ("types", r"(?<![\w-])[.#%][A-Za-z_-][\w-]*(?=[^;\n]*[{,])|&"),
               ("variables", r"#\{[^}\n]*\}")],
        outline=[(r"^[ \t]*((?:@mixin|@function)\s+[\w-]+|[^@\s/$][^{\n;]*?)\s*\{", "$1", "rule")],
        sample="// base\n@use \"sass:math\";\n$main: #336699;\n@mixin center { margin: 0 auto; }\n.card {\n"
               "  color: $main;\n  &:hover { width: #{10}px; }\n}\n",
    ),
    dict(
        name="Sed", ext=["sed"], interp=["sed", "gsed"], line=["#"],
        rules=[("keywords", r"(?<=^|[;{}\s\d$/])[aic](?=\\|\s)|(?<=^|[;{}\s\d$/])[dDgGhHlnNpPqQxz=](?=\s*(?:[;}]|$))"),
               ("strings", r"(?<!\w)s([/|#,:])(?:\\.|(?!\1)[^\\\n])*\1(?:\\.|(?!\1)[^\\\n])*\1[gpiImMe0-9]*"),
               ("strings", r"(?<=^|[;\s,!])/(?:\\.|[^/\\\n])*/"),
               ("types", r"^[ \t]*:[^\s;]+|(?<=^|[;{}\s])[bt](?:[ \t]+[^\s;}]+)?(?=\s*(?:[;}]|$))"),
               ("numbers", r"\$(?=\s*[!a-zA-Z{;=])")],
        outline=[(r"^[ \t]*:([^\s;]+)", "$1", "label")],
        sample="#!/bin/sed -f\n# tidy\n:top\ns/foo/bar/g\n/^$/d\n$ p\nt top\n",
    ),
    dict(
        name="Solidity", ext=["sol"], strings=[DQ, SQ], **C_COMMENTS,
        keywords="abstract anonymous as assembly break calldata catch constant constructor continue "
                 "contract delete do else emit enum error event external fallback false for function if "
                 "immutable import indexed interface internal is library mapping memory modifier new "
                 "override payable pragma private public pure receive return returns revert storage "
                 "struct true try type unchecked using view virtual while",
        types="address bool string bytes byte int uint int8 int16 int32 int64 int128 int256 uint8 uint16 "
              "uint32 uint64 uint128 uint256 bytes1 bytes4 bytes32",
        rules=[("types", CAP_TYPE), ("variables", r"\b(?:msg|block|tx|abi)\.[A-Za-z_]\w*")],
        outline=[(r"^[ \t]*(?:abstract\s+)?(?:contract|interface|library|struct|enum)\s+([A-Za-z_]\w*)", "$1", "class"),
                 (r"^[ \t]*(?:function|modifier|event|error)\s+([A-Za-z_]\w*)", "$1", "function")],
        sample="// SPDX-License-Identifier: MIT\npragma solidity ^0.8.0;\ncontract Vault {\n"
               "    mapping(address => uint256) public balance;\n    function deposit() external payable {\n"
               "        balance[msg.sender] += msg.value;\n    }\n}\n",
    ),
    dict(
        name="Svelte", ext=["svelte"], block=[("<!--", "-->")], strings=[DQ, SQ, ("`", "`", True)],
        keywords="const let var function return if else for while import export from default async await "
                 "true false null undefined new this",
        rules=[("types", r"</?[A-Za-z][\w:.-]*|/?>"),
               ("attributes", r"\b(?:on|bind|class|use|transition|in|out|animate):[\w|-]+|\b[A-Za-z_][\w-]*(?==)"),
               ("commands", r"\{[#:/@](?:if|else|each|await|then|catch|key|html|debug|const|snippet|render)\b"),
               ("comments", r"(?:^|(?<=\s))//.*$|/\*(?s:.*?)\*/"),
               ("variables", r"\$[A-Za-z_]\w*|\$(?:state|derived|effect|props)\b")],
        outline=[(r"^[ \t]*<(script|style)\b[^>\n]*>", "$1", "block"),
                 (r"^[ \t]*(?:export\s+)?function\s+([A-Za-z_$][\w$]*)", "$1", "function")],
        sample="<script>\n  export let name = 'world';\n  function greet() { return $count; }\n</script>\n"
               "<!-- view -->\n{#if name}\n  <button on:click={greet} class=\"b\">Hi {name}</button>\n{/if}\n"
               "<style>\n  button { color: red; }\n</style>\n"
               "<script>\n  // note\n</script>\n",
    ),
    dict(
        name="Tcl", ext=["tcl", "tk", "itcl"], interp=["tclsh", "wish"], line=["#"], strings=[DQ],
        keywords="after append array break catch cd close concat continue dict else elseif error eval exec "
                 "exit expr for foreach format gets glob global if incr info join lappend lindex linsert "
                 "list llength lrange lreplace lsearch lsort namespace open package proc puts read regexp "
                 "regsub rename return set source split string switch then tailcall throw try unset "
                 "upvar uplevel variable vwait while",
        rules=[("variables", r"\$(?:[A-Za-z_][\w:]*(?:\([^)\n]*\))?|\{[^}\n]*\})"),
               ("attributes", r"(?<=\s)-[a-z]\w*"), ("commands", r"\[[A-Za-z_][\w:]*")],
        outline=[(r"^[ \t]*proc\s+([^\s{]+)", "$1", "function"),
                 (r"^[ \t]*namespace\s+eval\s+([^\s{]+)", "$1", "namespace")],
        sample="# greet\nnamespace eval app {}\nproc app::greet {name} {\n    set n [string length $name]\n"
               "    puts -nonewline \"hi ${name} $n\"\n}\n",
    ),
    dict(
        name="TOML", ext=["toml"], files=["Cargo.toml", "Cargo.lock", "Pipfile", "pyproject.toml", "poetry.lock", "uv.lock"],
        line=["#"], strings=[DQ, SQ, ('"""', '"""', True), ("'''", "'''", True)], escape={"'": "none"},
        keywords="true false inf nan",
        rules=[("types", r"^[ \t]*\[\[?[^\]\n]+\]\]?"),
               ("attributes", r"^[ \t]*(?:[A-Za-z0-9_-]+|\"[^\"\n]*\"|'[^'\n]*')(?:\s*\.\s*(?:[A-Za-z0-9_-]+|\"[^\"\n]*\"))*"
                              r"(?=\s*=)|(?<=[{,])\s*[A-Za-z0-9_-]+(?=\s*=)"),
               ("numbers", r"\b\d{4}-\d{2}-\d{2}(?:[T ]\d{2}:\d{2}:\d{2}(?:\.\d+)?(?:Z|[+-]\d{2}:\d{2})?)?\b|"
                           r"[+-]?\b\d[\d_]*(?:\.\d[\d_]*)?(?:[eE][+-]?\d+)?\b")],
        outline=[(r"^[ \t]*\[\[?\s*([^\]\n]+?)\s*\]\]?", "$1", "table")],
        sample="# app\ntitle = \"demo\"\n[server]\nport = 8_080\nstarted = 2024-01-02T03:04:05Z\n"
               "[[items]]\nname = 'x'\npoint = { x = 1, y = 2 }\n",
    ),
    dict(
        name="Verilog", ext=["v", "vh", "sv", "svh"], strings=[DQ], **C_COMMENTS,
        keywords="always always_comb always_ff always_latch and assign automatic begin case casex casez "
                 "class default defparam disable else end endcase endclass endfunction endgenerate "
                 "endinterface endmodule endpackage endtask enum for forever fork function generate "
                 "genvar if import initial inout input interface join localparam logic module negedge "
                 "or output package parameter posedge reg repeat return signed struct task typedef "
                 "unique unsigned while wire xor",
        types="bit byte int integer longint shortint real time string tri wand wor supply0 supply1",
        rules=[("numbers", r"\b\d*'[sS]?[bBoOdDhH][0-9a-fA-FxXzZ_?]+\b|'[01xXzZ]\b"),
               ("commands", r"`[A-Za-z_]\w*"), ("variables", r"\$[A-Za-z_]\w*")],
        outline=[(r"^[ \t]*(?:module|macromodule|interface|package|class|program)\s+([A-Za-z_]\w*)", "$1", "module"),
                 (r"^[ \t]*(?:function|task)\s+(?:automatic\s+)?(?:[\w\[\]:]+\s+)?([A-Za-z_]\w*)\s*[(;]", "$1",
                  "function")],
        sample="`timescale 1ns/1ps\n// counter\nmodule counter(input clk, output reg [3:0] q);\n"
               "  always @(posedge clk) q <= q + 4'b0001;\n  initial $display(\"go\");\nendmodule\n"
               "function integer twice(input integer x);\nendfunction\n",
    ),
    dict(
        name="VHDL", ext=["vhd", "vhdl"], line=["--"], block=[("/*", "*/")], strings=[DQ], escape="double", icase=True,
        keywords="abs access after alias all and architecture array assert attribute begin block body "
                 "buffer bus case component configuration constant downto else elsif end entity exit file "
                 "for function generate generic group guarded if impure in inertial inout is label "
                 "library linkage literal loop map mod nand new next nor not null of on open or others "
                 "out package port postponed procedure process pure range record register reject rem "
                 "report return rol ror select severity signal shared sla sll sra srl subtype then to "
                 "transport type unaffected units until use variable wait when while with xnor xor",
        types="bit bit_vector boolean character integer natural positive real string time std_logic "
              "std_logic_vector std_ulogic std_ulogic_vector signed unsigned",
        rules=[("characters", r"'[01XZUWLH-]'"), ("attributes", r"(?<=\w)'[A-Za-z_]\w*"),
               ("numbers", r"\b[bBoOxX]\"[0-9A-Fa-f_]+\"")],
        outline=[(r"^[ \t]*(?:entity|architecture|package(?:\s+body)?|component|configuration)\s+([A-Za-z_]\w*)",
                  "$1", "unit", True),
                 (r"^[ \t]*(?:pure\s+|impure\s+)?(?:function|procedure)\s+([A-Za-z_]\w*)", "$1", "function", True),
                 (r"^[ \t]*([A-Za-z_]\w*)\s*:\s*process\b", "$1", "process", True)],
        sample="library ieee;\n-- counter\nentity counter is\n  port (clk : in std_logic);\nend entity;\n"
               "architecture rtl of counter is\nbegin\n  tick : process (clk)\n  begin\n"
               "    if clk'event and clk = '1' then report \"tick\"; end if;\n  end process;\nend rtl;\n"
               "function f return bit is begin return x\"FF\"; end;\n",
    ),
    dict(
        name="Vim Script", ext=["vim", "vimrc"], files=[".vimrc", ".gvimrc", "_vimrc", ".exrc"], line=['"'],
        strings=[SQ], escape="double",
        keywords="if elseif else endif for endfor while endwhile try catch finally endtry function "
                 "endfunction func endfunc return call let unlet const set setlocal map nmap vmap imap "
                 "noremap nnoremap vnoremap inoremap command autocmd augroup execute echo echom normal "
                 "syntax highlight source silent abort range dict def enddef var vim9script",
        # '"' also starts a comment, and the comment rule it brings wins where both begin: a
        # double-quoted string therefore begins with the blank or bracket before its quote.
        rules=[("comments", r"(?<=^|[\s|])\"(?!(?:\\.|[^\"\\\n])*\")[^\n]*$|^[ \t]*#\s.*$"),
               ("strings", r"(?:(?<=[^\s|\"])[ \t]+|[(\[{=.,:+])\"(?:\\.|[^\"\\\n])*\""),
               ("variables", r"\b[gsbwtlav]:[A-Za-z_]\w*|&[a-z]+|@[a-z\"]|\$[A-Z_]+"),
               ("attributes", r"<(?:silent|buffer|expr|nowait|unique|leader|localleader|CR|Esc|Tab|Space|"
                              r"C-\w|M-\w|S-\w|Plug|SID)>")],
        outline=[(r"^[ \t]*(?:fu(?:nction)?|def)!?\s+((?:[gsbwtlav]:|<SID>)?[A-Za-z_][\w#.]*)", "$1", "function"),
                 (r"^[ \t]*augroup\s+(?!END\b)(\S+)", "$1", "group")],
        sample="\" settings\nset number\nlet g:name = 'x'\nfunction! s:Greet(who) abort\n"
               "  echo \"hi \" . a:who\nendfunction\nnnoremap <silent> <leader>g :call <SID>Greet('me')<CR>\n"
               "augroup demo\naugroup END\n",
    ),
    dict(
        name="Visual Basic", ext=["vb", "vbs", "bas", "frm"], line=["'"], strings=[DQ], escape="double", icase=True,
        keywords="AddHandler AddressOf Alias And AndAlso As ByRef ByVal Call Case Catch Class Const "
                 "Continue Declare Default Delegate Dim Do Each Else ElseIf End Enum Erase Error Event "
                 "Exit False Finally For Friend Function Get GoTo Handles If Implements Imports In "
                 "Inherits Interface Is IsNot Let Like Loop Me Mod Module MustInherit MustOverride "
                 "MyBase Namespace New Next Not Nothing NotInheritable Of On Option Optional Or OrElse "
                 "Overridable Overrides ParamArray Partial Private Property Protected Public RaiseEvent "
                 "ReadOnly ReDim Rem Resume Return Select Set Shared Static Step Stop Structure Sub Then "
                 "Throw To True Try TypeOf Until Using When While With WithEvents WriteOnly Xor",
        types="Boolean Byte Char Date Decimal Double Integer Long Object SByte Short Single String "
              "UInteger ULong UShort Variant",
        rules=[("comments", r"(?i)^[ \t]*rem\b.*$"), ("commands", r"^[ \t]*#(?:If|Else|ElseIf|End If|Const|Region|"
                                                                 r"End Region)\b"),
               ("numbers", r"&[hHoObB][0-9A-Fa-f]+\b"), ("attributes", r"<[A-Za-z_][\w.]*(?:\([^)\n]*\))?>")],
        outline=[(r"^[ \t]*(?:(?:Public|Private|Friend|Protected|Shared|Overrides|Overridable|Partial|"
                  r"MustInherit|NotInheritable)\s+)*(?:Class|Module|Structure|Interface|Enum|Namespace)\s+"
                  r"([A-Za-z_]\w*)", "$1", "class", True),
                 (r"^[ \t]*(?:(?:Public|Private|Friend|Protected|Shared|Overrides|Overridable|Async)\s+)*"
                  r"(?:Sub|Function|Property)\s+([A-Za-z_]\w*)", "$1", "function", True)],
        sample="Imports System\n' entry\n<Serializable>\nPublic Module Program\n    Sub Main()\n"
               "        Dim n As Integer = &HFF\n        Console.WriteLine(\"hi\")\n    End Sub\nEnd Module\n"
               "Rem old comment\n#Region \"Helpers\"\n",
    ),
    dict(
        name="Vue", ext=["vue"], block=[("<!--", "-->")], strings=[DQ, SQ, ("`", "`", True)],
        keywords="const let var function return if else for while import export from default async await "
                 "true false null undefined new this setup",
        rules=[("types", r"</?[A-Za-z][\w:.-]*|/?>"),
               ("attributes", r"(?:\bv-[\w-]+|[:@#][\w.-]+|\b[A-Za-z_][\w-]*)(?==)|\bv-(?:else|cloak|pre|once)\b"),
               ("variables", r"\{\{[^}\n]*\}\}"),
               ("comments", r"(?:^|(?<=\s))//.*$|/\*(?s:.*?)\*/")],
        outline=[(r"^<(template|script|style)\b[^>\n]*>", "$1", "block"),
                 (r"^[ \t]*(?:export\s+)?(?:async\s+)?function\s+([A-Za-z_$][\w$]*)", "$1", "function")],
        sample="<template>\n  <!-- view -->\n  <button v-if=\"ok\" @click=\"greet\">{{ name }}</button>\n</template>\n"
               "<script setup>\nconst name = 'x'\nfunction greet() { return `hi` }\n</script>\n"
               "<script>\n// note\n</script>\n",
    ),
    dict(
        name="XML", ext=["xml", "xsd", "xsl", "xslt", "svg", "plist", "rss", "atom", "xaml", "csproj",
                         "vcxproj", "resx", "wsdl", "dtd", "xib", "storyboard", "ui", "qrc", "sdef"],
        block=[("<!--", "-->")],
        # Quotes only around attribute values: apostrophes in text are no quotes.
        rules=[("strings", r"(?<==\s{0,4})(?:\"[^\"]*\"|'[^']*')"),
               ("types", r"</?[A-Za-z_][\w:.-]*|/?>|<\?[\w:-]+|\?>"),
               ("attributes", r"\b[A-Za-z_][\w:.-]*(?=\s*=)"),
               ("characters", r"&(?:#\d+|#x[0-9A-Fa-f]+|[A-Za-z][\w.-]*);"),
               ("strings", r"<!\[CDATA\[(?s:.*?)\]\]>"),
               ("keywords", r"<!(?:DOCTYPE|ELEMENT|ATTLIST|ENTITY|NOTATION)\b")],
        outline=[(r"<([A-Za-z_][\w:.-]*)\b[^>\n]*\b(?:id|name)\s*=\s*[\"']([^\"'\n]+)[\"']", "$1 $2", "element")],
        sample="<?xml version=\"1.0\"?>\n<!DOCTYPE note>\n<!-- doc -->\n<note id=\"n1\" lang='en'>\n"
               "  <body>Tom &amp; Ann<![CDATA[raw <b>]]></body>\n</note>\n",
    ),
    dict(
        name="YAML", ext=["yaml", "yml"], files=[".clang-format", ".clang-tidy", "pubspec.lock", "stack.yaml.lock"],
        line=["#"],
        keywords="true false null yes no on off True False Null TRUE FALSE NULL",
        # Quotes open a string only where a value begins ("it's" in prose is no string); a plain
        # value is a string up to a comment, which needs a blank before its "#".
        rules=[("attributes", r"^[ \t]*(?:-\s+)*(?:[^\s#:\"'\[\]{},][^#:\n]*?|\"[^\"\n]*\"|'[^'\n]*')(?=\s*:(?:\s|$))"),
               ("strings", r"(?<![^\s\[{,:])\"(?:\\.|[^\"\\\n])*\"|(?<![^\s\[{,:])'(?:''|[^'\n])*'"),
               ("strings", r"(?<=:[ \t]{1,16}|(?:^|[ \t])-[ \t]{1,16})(?![&*!|>'\"\[{#%@`]|(?:true|false|null|yes|no|on|off|"
                           r"True|False|Null|TRUE|FALSE|NULL|~|[-+]?(?:\.inf|\.nan|\d[\d_]*(?:\.\d*)?(?:[eE][-+]?\d+)?|"
                           r"0x[0-9A-Fa-f_]+|0o[0-7_]+))[ \t]*(?:#|$))[^\s#][^\n]*?(?=[ \t]+#|[ \t]*$)"),
               ("variables", r"[&*][A-Za-z0-9_-]+"), ("types", r"!!?[A-Za-z0-9_/.-]*"),
               ("commands", r"^(?:---|\.\.\.)[ \t]*$|^%[A-Z]+.*$"),
               ("values", r"(?<=:\s|-\s)[|>][+-]?\d*[ \t]*$")],
        outline=[(r"^([^\s#:\"'\-][^#:\n]*?)\s*:(?:\s|$)", "$1", "key")],
        sample="%YAML 1.2\n---\n# app\nname: demo\nbase: &b\n  port: 8080\nuse: *b\nlist:\n  - enabled: true\n"
               "text: |\n  line\ntag: !!str 1\nurl: http://x/#a # real\nnote: it's Ann's 'quoted' \"text\"\n",
    ),
    dict(
        name="Zig", ext=["zig", "zon"], line=["//"], strings=[DQ],
        keywords="addrspace align allowzero and anyframe anytype asm async await break callconv catch "
                 "comptime const continue defer else enum errdefer error export extern fn for if inline "
                 "linksection noalias noinline nosuspend opaque or orelse packed pub resume return "
                 "struct suspend switch test threadlocal try union unreachable usingnamespace var "
                 "volatile while true false null undefined",
        types="i8 i16 i32 i64 i128 isize u8 u16 u32 u64 u128 usize f16 f32 f64 f128 bool void noreturn "
              "type anyerror anyopaque comptime_int comptime_float c_int c_char",
        rules=[("commands", r"@[A-Za-z_]\w*"), ("types", CAP_TYPE), ("strings", r"\\\\.*$"),
               ("characters", r"'(?:\\.|[^'\\\n])+'"), ("numbers", NUM_UNDERSCORE)],
        outline=[(r"^[ \t]*(?:pub\s+)?(?:export\s+|extern\s+|inline\s+)*fn\s+([A-Za-z_]\w*)", "$1", "function"),
                 (r"^[ \t]*(?:pub\s+)?const\s+([A-Za-z_]\w*)\s*=\s*(?:extern\s+|packed\s+)?(?:struct|enum|union|"
                  r"opaque)\b", "$1", "type"),
                 (r"^[ \t]*test\s+\"([^\"\n]*)\"", "$1", "test")],
        sample="const std = @import(\"std\");\n// point\npub const Point = struct { x: i32 };\n"
               "pub fn main() !void {\n    const c = 'x';\n    const s = \\\\raw\n    ;\n    _ = 1_000;\n}\n"
               "test \"adds\" {}\n",
    ),
]
