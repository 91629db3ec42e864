// The statement parser of the command language.
//
// A small state machine walks the text once, one method per state. Quoted
// arguments are compacted in place (escapes shorten them) and numbers are cut
// off by writing a terminator over their delimiter, so both point into the
// text itself; word arguments get a buffer of their own because a word
// naming a variable is replaced by the variable's value.
//
// Text from a script file is the player's data as much as ours: a statement
// that cannot be read there is reported with the file and the line it begins
// on and skipped, and the rest of the file still runs. Other text (the
// command line, a key binding, a GUI line) stops at a bad escape, as it
// always did.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"

class CStatementParser {
public:
    CStatementParser(CCommandInterpreter& ip, bool quiet, char* text, int length, const char* source)
        : m_ip(ip), m_args(ip.m_args), m_quiet(quiet), m_text(text), m_length(length), m_source(source) {}

    // Walks the whole text; true when a statement reached a registered entry.
    bool Run();
    int Faults() const { return m_faults; }

private:
    enum EState {
        kBetween,      // between statements
        kSlash,        // after one '/'
        kComment,      // up to the end of the line
        kCommentEnd,   // line breaks after a comment
        kName,         // the statement's name
        kAfterName,    // up to its '(' or blank
        kBetweenArgs,  // between arguments
        kQuoted,       // quoted text
        kNumber,       // a number (or anything that starts like one)
        kWord,         // a bare word
        kRun,          // the statement is complete
    };
    // Each state looks at the text from pos on and returns where the next
    // step starts; a state that hands the same character to another state
    // returns pos unchanged.
    int Between(int pos);
    int Slash(int pos);
    int Comment(int pos);
    int CommentEnd(int pos);
    int Name(int pos);
    int AfterName(int pos);
    int BetweenArgs(int pos);
    int Quoted(int pos);
    int Number(int pos);
    int Word(int pos);
    int RunState(int pos);

    unsigned char At(int pos) const { return static_cast<unsigned char>(m_text[pos]); }
    // The text ended inside a statement.
    void Finish();
    void RunStatement();
    bool NewArgument();
    void EndWord();
    // A statement that cannot be read: in a file it is reported with its line
    // and the rest of the line skipped; silent text (the language's old
    // limits) just drops it.
    void Drop(const char* reason);
    // Prints a message, with the file and the statement's first line in front
    // for a script file.
    void Report(const char* message);
    int LineOf(int pos) const;

    CCommandInterpreter& m_ip;
    SCommandArgs& m_args;
    const bool m_quiet;
    char* const m_text;
    const int m_length;
    const char* const m_source;  // the script file, or null
    // A script file's line starts, taken before the parse writes into the text.
    std::vector<int> m_lineStarts;

    int m_state = kBetween;
    char m_name[kMaxCommandWord + 1];
    int m_nameLen = 0;
    char m_word[kMaxCommandWord + 1];
    int m_wordLen = 0;
    int m_slot = -1;
    int m_shift = 0;  // escapes so far in the current quoted argument
    int m_statementStart = 0;
    // The statement's arguments began with '(' right after its name, and a
    // ')' has closed them: a ';' before that ')' leaves it unread.
    bool m_opened = false, m_closed = false;
    bool m_ran = false;
    bool m_stop = false;
    int m_faults = 0;
};

int CStatementParser::LineOf(int pos) const {
    return static_cast<int>(std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), pos) -
                            m_lineStarts.begin());
}

void CStatementParser::Report(const char* message) {
    if (m_source)
        m_ip.Printf("Error in %s, line %d: %s", m_source, LineOf(m_statementStart), message);
    else
        m_ip.Print(message);
}

void CStatementParser::Drop(const char* reason) {
    if (m_source) {
        std::string text = std::string(reason) + "; the statement is skipped";
        Report(text.c_str());
        ++m_faults;
    }
    m_state = kComment;
}

inline int CStatementParser::Between(int pos) {
    while (pos < m_length && At(pos) <= 32) ++pos;
    if (pos >= m_length) return pos;
    if (At(pos) == '/') {
        m_state = kSlash;
        return pos + 1;
    }
    m_args.Clear();
    m_args.count = 0;
    m_nameLen = 0;
    m_slot = -1;
    m_statementStart = pos;
    m_opened = m_closed = false;
    m_state = kName;
    return pos;
}

inline int CStatementParser::Slash(int pos) {
    // A single slash is dropped; two start a comment.
    if (At(pos) != '/') {
        m_state = kBetween;
        return pos;
    }
    m_state = kComment;
    return pos + 1;
}

inline int CStatementParser::Comment(int pos) {
    while (pos < m_length && At(pos) > 13) ++pos;
    if (pos >= m_length) return pos;
    m_state = kCommentEnd;
    return pos + 1;
}

inline int CStatementParser::CommentEnd(int pos) {
    while (pos < m_length && At(pos) <= 13) ++pos;
    if (pos < m_length) m_state = kBetween;
    return pos;
}

inline int CStatementParser::Name(int pos) {
    const int length = m_length;
    for (; pos < length; ++pos) {
        unsigned char c = At(pos);
        if (c <= 32 || c == '(' || c == ';') {
            m_state = kAfterName;
            return pos;
        }
        if (m_nameLen >= kMaxCommandWord) {
            Drop("the name is longer than 256 characters");
            return pos + 1;
        }
        m_name[m_nameLen++] = static_cast<char>(c);
    }
    return pos;
}

inline int CStatementParser::AfterName(int pos) {
    unsigned char c = At(pos);
    if (c == '(' || c == ' ') {
        m_opened = c == '(';
        m_state = kBetweenArgs;
        return pos + 1;
    }
    if (c == ';') {
        m_state = kRun;
        return pos;
    }
    return pos + 1;  // tabs, line breaks and stray characters
}

inline bool CStatementParser::NewArgument() {
    if (m_args.count + 1 > kMaxCommandArgs) {
        Drop("more than 256 arguments");
        return false;
    }
    ++m_args.count;
    ++m_slot;
    if (m_args.used < m_slot + 1) m_args.used = m_slot + 1;
    m_args.arg[m_slot].Free();
    return true;
}

inline int CStatementParser::BetweenArgs(int pos) {
    unsigned char c = At(pos);
    if (c == '"') {
        if (!NewArgument()) return pos;
        m_shift = 0;
        m_args.arg[m_slot].SetText(m_text + pos + 1);
        m_state = kQuoted;
        return pos + 1;
    }
    if ((c >= '0' && c <= '9') || c == '-') {
        if (!NewArgument()) return pos;
        m_args.arg[m_slot].SetText(m_text + pos);
        m_state = kNumber;
        return pos;
    }
    if (c == ';') {
        m_state = kRun;
        return pos;
    }
    if (c == ')') {
        // The ')' closes the statement; the character after it is consumed too.
        m_closed = true;
        RunStatement();
        m_state = kBetween;
        return pos + 2;
    }
    if (c == ',' || c == '(' || c <= 32) return pos + 1;
    if (!NewArgument()) return pos;
    m_wordLen = 0;
    m_state = kWord;
    return pos;
}

inline int CStatementParser::Quoted(int pos) {
    // Locals: the compiler must assume a store into the text may change any
    // member it would otherwise keep in a register.
    char* const text = m_text;
    const int length = m_length, shift = m_shift;
    for (; pos < length; ++pos) {
        char c = text[pos];
        if (c == '"' || c == '\\') break;
        text[pos - shift] = c;
    }
    if (pos >= m_length) return pos;
    if (At(pos) == '"') {
        m_text[pos - shift] = 0;
        m_state = kBetweenArgs;
        return pos + 1;
    }
    unsigned char next = (pos + 1 < m_length) ? At(pos + 1) : 0;
    if (next == '\\' || next == '"' || next == 'n') {
        m_text[pos - shift] = (next == 'n') ? 13 : static_cast<char>(next);
        ++m_shift;
        return pos + 2;
    }
    m_name[m_nameLen] = 0;
    std::string message =
        "\\ has to be followed be \" to translate into a \" or \\ to translate into a \\: " +
        std::string(m_name);
    if (m_source) {
        Drop(message.c_str());
    } else {
        m_ip.Print(message.c_str());
        m_stop = true;
    }
    return pos;
}

inline int CStatementParser::Number(int pos) {
    // Letters, tabs and line breaks belong to the number.
    for (; pos < m_length; ++pos) {
        unsigned char c = At(pos);
        if (c == ',' || c == ' ' || c == ')') {
            m_closed = m_closed || c == ')';
            m_text[pos] = 0;
            m_state = kBetweenArgs;
            return pos + 1;
        }
        if (c == ';') {
            // The ';' closes the statement: cut the number off and run it here.
            m_text[pos] = 0;
            m_state = kRun;
            return pos;
        }
    }
    return pos;
}

// Substitutes the value of a variable for a word that names one.
void CStatementParser::EndWord() {
    m_word[m_wordLen] = 0;
    CCommandArg& slot = m_args.arg[m_slot];
    char* out = slot.Text() ? const_cast<char*>(slot.Text()) : slot.Alloc(kMaxCommandWord);
    CConsoleCommand* c = m_ip.GetCommand(m_word);
    if (c && c->FormatValue(out, kMaxCommandWord + 1)) return;
    std::memcpy(out, m_word, static_cast<size_t>(m_wordLen) + 1);
}

inline int CStatementParser::Word(int pos) {
    const int length = m_length;
    for (; pos < length; ++pos) {
        unsigned char c = At(pos);
        if (c == ',' || c == ')' || c == ' ' || c <= 13) {
            m_closed = m_closed || c == ')';
            EndWord();
            m_state = kBetweenArgs;
            return pos + 1;
        }
        if (c == ';') {
            EndWord();
            m_state = kRun;
            return pos;
        }
        if (m_wordLen >= kMaxCommandWord) {
            m_args.arg[m_slot].Free();
            Drop("an argument is longer than 256 characters");
            return pos + 1;
        }
        m_word[m_wordLen++] = static_cast<char>(c);
    }
    return pos;
}

inline int CStatementParser::RunState(int pos) {
    if (m_opened && !m_closed) {
        // "Name(arguments;": the ';' came before the ')' that the '(' asks for.
        m_name[m_nameLen] = 0;
        std::string message = "Missing ) in " + std::string(m_name) + "(...; the statement is not run";
        Report(message.c_str());
        if (m_source) ++m_faults;
        m_args.Clear();
        m_args.count = 0;
    } else {
        RunStatement();
    }
    m_state = kBetween;
    return pos + 1;
}

bool CStatementParser::Run() {
    if (m_source) {
        m_lineStarts.push_back(0);
        for (int i = 0; i < m_length; ++i)
            if (m_text[i] == '\n') m_lineStarts.push_back(i + 1);
    }
    int pos = 0;
    // One step of the current state at a time; the busy states take whole
    // runs of characters in one step.
    while (pos < m_length && !m_stop) {
        switch (m_state) {
            case kBetween:
                pos = Between(pos);
                break;
            case kSlash:
                pos = Slash(pos);
                break;
            case kComment:
                pos = Comment(pos);
                break;
            case kCommentEnd:
                pos = CommentEnd(pos);
                break;
            case kName:
                pos = Name(pos);
                break;
            case kAfterName:
                pos = AfterName(pos);
                break;
            case kBetweenArgs:
                pos = BetweenArgs(pos);
                break;
            case kQuoted:
                pos = Quoted(pos);
                break;
            case kNumber:
                pos = Number(pos);
                break;
            case kWord:
                pos = Word(pos);
                break;
            default:
                pos = RunState(pos);
                break;
        }
    }
    if (!m_stop) Finish();
    return m_ran;
}

void CStatementParser::RunStatement() {
    m_name[m_nameLen] = 0;
    CConsoleCommand* c = m_ip.GetCommand(m_name);
    if (!c) {
        if (m_quiet) {
            m_stop = true;
            return;
        }
        std::string message = "No such command: " + std::string(m_name);
        Report(message.c_str());
        if (m_source) ++m_faults;
    } else {
        ICommandHost* host = m_ip.GetHost();
        uint32_t bits = host ? host->GetGameStateBits() : CommandState_Bits(SCommandStateInputs());
        bool maskHolds = (c->GetMask() & bits) == c->GetMask();
        // A variable named alone only prints its value, which is harmless in
        // any state; a command runs only where its mask allows, arguments or not.
        if (m_ip.IsRestricted() && !c->AllowedInMapScript())
            m_ip.Printf("%s is not allowed in a map script from a server", c->GetName());
        else if (maskHolds || (c->IsVariable() && m_args.count == 0))
            c->Invoke(&m_args);
        else
            m_ip.Printf("%s cannot be run at this time or gamestate", c->GetName());
        m_args.Clear();
        m_args.count = 0;
        m_ran = true;
    }
    // After a runaway nesting every nested run stops; the outermost text
    // goes on with its next statement.
    if (m_ip.m_unwinding) {
        if (m_ip.m_depth > 1)
            m_stop = true;
        else
            m_ip.m_unwinding = false;
    }
}

void CStatementParser::Finish() {
    // The text ended inside a statement: it runs all the same, as it would
    // with a closing ';'.
    switch (m_state) {
        case kName:
        case kAfterName:
        case kBetweenArgs:
            RunStatement();
            break;
        case kNumber: {
            // The number may reach the very end of a caller's buffer, with no
            // room for a terminator: give it a buffer of its own.
            const char* start = m_args.arg[m_slot].Text();
            size_t n = static_cast<size_t>(m_text + m_length - start);
            if (n > kMaxCommandWord) n = kMaxCommandWord;
            char tmp[kMaxCommandWord + 1];
            std::memcpy(tmp, start, n);
            tmp[n] = 0;
            std::memcpy(m_args.arg[m_slot].Alloc(kMaxCommandWord), tmp, n + 1);
            RunStatement();
            break;
        }
        case kWord:
            EndWord();
            RunStatement();
            break;
        case kQuoted: {
            m_name[m_nameLen] = 0;
            std::string message = "Missing closing \" in the arguments of " + std::string(m_name) +
                                  "; the statement is not run";
            Report(message.c_str());
            if (m_source) ++m_faults;
            break;
        }
        default:
            break;
    }
}

// ---- CCommandInterpreter

bool CCommandInterpreter::Execute(bool quiet, const char* text) {
    return Execute(quiet, const_cast<char*>(text), -1);
}

bool CCommandInterpreter::Execute(bool quiet, const char* text, int length) {
    if (length < 0 || !text) return Execute(quiet, const_cast<char*>(text), -1);
    std::string copy(text, static_cast<size_t>(length));
    return Execute(quiet, &copy[0], length);
}

bool CCommandInterpreter::Execute(bool quiet, char* text, int length) {
    return ExecuteText(quiet, text, length, nullptr, nullptr);
}

bool CCommandInterpreter::ExecuteText(bool quiet, char* text, int length, const char* source, int* faults) {
    if (!text || !text[0]) return true;
    if (m_depth >= kMaxExecuteDepth) {
        // Unwind every nested run: a script that runs itself twice would
        // otherwise double its work at every level below the limit.
        if (!m_unwinding)
            Printf("Command text nested more than %d levels deep; the run is stopped", kMaxExecuteDepth);
        m_unwinding = true;
        return true;
    }
    // Copy before the argument list is cleared: the text may be the argument
    // of the statement that runs it (If, IfNot), held in a slot's own buffer.
    char* copy = nullptr;
    if (length < 0) {
        size_t n = std::strlen(text);
        copy = static_cast<char*>(std::malloc(n + 1));
        std::memcpy(copy, text, n + 1);
        text = copy;
        length = static_cast<int>(n);
    }
    m_args.Clear();
    bool ran = false;
    if (length > 0) {
        ++m_depth;
        CStatementParser parser(*this, quiet, text, length, source);
        ran = parser.Run();
        if (faults) *faults = parser.Faults();
        if (--m_depth == 0) m_unwinding = false;
    }
    m_args.Clear();
    std::free(copy);
    return !ran;
}
