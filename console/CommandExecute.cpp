// The statement parser of the command language.
//
// A small state machine walks the text once. Quoted arguments are compacted
// in place (escapes shorten them) and numbers are cut off by writing a
// terminator over their delimiter, so both point into the text itself; word
// arguments get a buffer of their own because a word naming a variable is
// replaced by the variable's value.
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"

namespace {
enum EParseState {
    kBetween = 0,     // between statements
    kSlash = 1,       // after one '/'
    kComment = 2,     // up to the end of the line
    kCommentEnd = 3,  // line breaks after a comment
    kName = 4,
    kAfterName = 5,
    kBetweenArgs = 6,
    kQuoted = 7,
    kNumber = 8,
    kWord = 9,
    kRun = 10,
};
}

bool CCommandInterpreter::Execute(bool quiet, const char* text) {
    return Execute(quiet, const_cast<char*>(text), -1);
}

bool CCommandInterpreter::Execute(bool quiet, const char* text, int length) {
    if (length < 0 || !text) return Execute(quiet, const_cast<char*>(text), -1);
    std::string copy(text, static_cast<size_t>(length));
    return Execute(quiet, &copy[0], length);
}

bool CCommandInterpreter::Execute(bool quiet, char* text, int length) {
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
        ran = Parse(quiet, text, length);
        if (--m_depth == 0) m_unwinding = false;
    }
    m_args.Clear();
    std::free(copy);
    return !ran;
}

// Substitutes the value of a variable for a word that names one.
static void EndWord(CCommandInterpreter* interp, CCommandArg& slot, char* word, int wordLen) {
    word[wordLen] = 0;
    char* out = slot.Text() ? const_cast<char*>(slot.Text()) : slot.Alloc(kMaxCommandWord);
    CConsoleCommand* c = interp->GetCommand(word);
    if (c && c->FormatValue(out, kMaxCommandWord + 1)) return;
    std::memcpy(out, word, static_cast<size_t>(wordLen) + 1);
}

void CCommandInterpreter::RunStatement(bool quiet, const char* name, bool& ran, bool& stop) {
    CConsoleCommand* c = GetCommand(name);
    if (!c) {
        if (quiet) {
            stop = true;
            return;
        }
        Printf("No such command: %s", name);
        return;
    }
    uint32_t bits = m_host ? m_host->GetGameStateBits() : CommandState_Bits(SCommandStateInputs());
    bool maskHolds = (c->GetMask() & bits) == c->GetMask();
    // A variable named alone only prints its value, which is harmless in any
    // state; a command runs only where its mask allows, arguments or not.
    bool allowed = maskHolds || (c->IsVariable() && m_args.count == 0);
    if (allowed)
        c->Invoke(&m_args);
    else
        Printf("%s cannot be run at this time or gamestate", c->GetName());
    m_args.Clear();
    m_args.count = 0;
    ran = true;
}

bool CCommandInterpreter::Parse(bool quiet, char* text, int length) {
    int state = kBetween;
    int pos = 0;
    char name[kMaxCommandWord + 1];
    int nameLen = 0;
    char word[kMaxCommandWord + 1];
    int wordLen = 0;
    int slot = -1;
    int shift = 0;
    char* quoteStart = nullptr;
    bool ran = false;
    bool stop = false;

    auto newArgument = [&]() -> bool {
        if (m_args.count + 1 > kMaxCommandArgs) return false;
        ++m_args.count;
        ++slot;
        if (m_args.used < slot + 1) m_args.used = slot + 1;
        m_args.arg[slot].Free();
        return true;
    };
    auto run = [&]() {
        name[nameLen] = 0;
        RunStatement(quiet, name, ran, stop);
        // After a runaway nesting every nested run stops; the outermost text
        // goes on with its next statement.
        if (m_unwinding) {
            if (m_depth > 1)
                stop = true;
            else
                m_unwinding = false;
        }
    };

    while (pos < length && !stop) {
        unsigned char c = static_cast<unsigned char>(text[pos]);
        switch (state) {
            case kBetween:
                if (c == '/') {
                    state = kSlash;
                    ++pos;
                } else if (c <= 32)
                    ++pos;
                else {
                    m_args.Clear();
                    m_args.count = 0;
                    nameLen = 0;
                    slot = -1;
                    state = kName;
                }
                break;
            case kSlash:
                state = (c == '/') ? kComment : kBetween;
                if (c == '/') ++pos;
                break;
            case kComment:
                if (c <= 13) state = kCommentEnd;
                ++pos;
                break;
            case kCommentEnd:
                if (c <= 13)
                    ++pos;
                else
                    state = kBetween;
                break;
            case kName:
                if (c <= 32 || c == '(' || c == ';')
                    state = kAfterName;
                else if (nameLen >= kMaxCommandWord) {
                    state = kComment;
                    ++pos;
                } else {
                    name[nameLen++] = static_cast<char>(c);
                    ++pos;
                }
                break;
            case kAfterName:
                if (c == '(' || c == ' ') {
                    state = kBetweenArgs;
                    ++pos;
                } else if (c == ';')
                    state = kRun;
                else
                    ++pos;
                break;
            case kBetweenArgs:
                if (c == '"') {
                    if (!newArgument()) {
                        state = kComment;
                        break;
                    }
                    shift = 0;
                    quoteStart = text + pos + 1;
                    m_args.arg[slot].SetText(quoteStart);
                    state = kQuoted;
                    ++pos;
                } else if ((c >= '0' && c <= '9') || c == '-') {
                    if (!newArgument()) {
                        state = kComment;
                        break;
                    }
                    m_args.arg[slot].SetText(text + pos);
                    state = kNumber;
                } else if (c == ';')
                    state = kRun;
                else if (c == ')') {
                    ++pos;
                    run();
                    state = kBetween;
                    ++pos;
                } else if (c == ',' || c == '(' || c <= 32)
                    ++pos;
                else {
                    if (!newArgument()) {
                        state = kComment;
                        break;
                    }
                    wordLen = 0;
                    state = kWord;
                }
                break;
            case kQuoted:
                if (c == '"') {
                    text[pos - shift] = 0;
                    state = kBetweenArgs;
                    ++pos;
                } else if (c == '\\') {
                    unsigned char next = (pos + 1 < length) ? static_cast<unsigned char>(text[pos + 1]) : 0;
                    if (next == '\\' || next == '"' || next == 'n') {
                        text[pos - shift] = (next == 'n') ? 13 : static_cast<char>(next);
                        ++shift;
                        pos += 2;
                    } else {
                        name[nameLen] = 0;
                        Printf(
                            "\\ has to be followed be \" to translate into a \" or \\ to translate into a "
                            "\\: %s",
                            name);
                        return ran;
                    }
                } else {
                    text[pos - shift] = static_cast<char>(c);
                    ++pos;
                }
                break;
            case kNumber:
                if (c == ',' || c == ' ' || c == ')') {
                    text[pos] = 0;
                    state = kBetweenArgs;
                    ++pos;
                } else if (c == ';') {
                    // The ';' closes the statement: cut the number off and run it here.
                    text[pos] = 0;
                    state = kRun;
                } else
                    ++pos;
                break;
            case kWord:
                if (c == ',' || c == ')' || c == ' ' || c <= 13) {
                    EndWord(this, m_args.arg[slot], word, wordLen);
                    state = kBetweenArgs;
                    ++pos;
                } else if (c == ';') {
                    EndWord(this, m_args.arg[slot], word, wordLen);
                    state = kRun;
                } else if (wordLen >= kMaxCommandWord) {
                    m_args.arg[slot].Free();
                    state = kComment;
                    ++pos;
                } else {
                    word[wordLen++] = static_cast<char>(c);
                    ++pos;
                }
                break;
            case kRun:
                run();
                state = kBetween;
                ++pos;
                break;
        }
    }
    if (stop) return ran;

    // The text ended inside a statement: it runs all the same, as it would
    // with a closing ';'.
    switch (state) {
        case kName:
        case kAfterName:
        case kBetweenArgs:
            run();
            break;
        case kNumber: {
            // The number may reach the very end of a caller's buffer, with no room
            // for a terminator: give it a buffer of its own.
            const char* start = m_args.arg[slot].Text();
            size_t n = static_cast<size_t>(text + length - start);
            if (n > kMaxCommandWord) n = kMaxCommandWord;
            char tmp[kMaxCommandWord + 1];
            std::memcpy(tmp, start, n);
            tmp[n] = 0;
            std::memcpy(m_args.arg[slot].Alloc(kMaxCommandWord), tmp, n + 1);
            run();
            break;
        }
        case kWord:
            EndWord(this, m_args.arg[slot], word, wordLen);
            run();
            break;
        case kQuoted:
            name[nameLen] = 0;
            Printf("Missing closing \" in the arguments of %s; the statement is not run", name);
            break;
        default:
            break;
    }
    return ran;
}
