#include "platform/rtl/FormParser.h"

#include <charconv>
#include <limits>

#include "platform/rtl/FormError.h"

namespace pv {

namespace {

bool IsAlpha(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_'; }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsHexDigit(char C) { return IsDigit(C) || (C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F'); }

bool SameKeyword(std::string_view S, std::string_view Keyword) {
    if (S.size() != Keyword.size()) return false;
    for (std::size_t I = 0; I < S.size(); ++I) {
        char C = S[I];
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
        if (C != Keyword[I]) return false;
    }
    return true;
}

void AppendUtf8(std::string& Out, std::uint32_t Cp) {
    if (Cp < 0x80) {
        Out += char(Cp);
    } else if (Cp < 0x800) {
        Out += char(0xC0 | (Cp >> 6));
        Out += char(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        Out += char(0xE0 | (Cp >> 12));
        Out += char(0x80 | ((Cp >> 6) & 0x3F));
        Out += char(0x80 | (Cp & 0x3F));
    } else {
        Out += char(0xF0 | (Cp >> 18));
        Out += char(0x80 | ((Cp >> 12) & 0x3F));
        Out += char(0x80 | ((Cp >> 6) & 0x3F));
        Out += char(0x80 | (Cp & 0x3F));
    }
}

enum class TTok : std::uint8_t { Eof, Ident, Integer, Float, String, Symbol, Hash };

struct TToken {
    TTok Kind = TTok::Eof;
    TFormPos Pos;
    std::string Text;  // identifier, string bytes, number spelling, the symbol, or '#' with what follows
    std::int64_t Int = 0;
    // A string of nothing but one decimal #nnn code: that spelling.
    std::string Hash;
};

std::string DescribeToken(const TToken& T, bool SingleValue) {
    switch (T.Kind) {
    case TTok::Eof: return SingleValue ? "the end of the value" : "the end of the file";
    case TTok::Ident: return "'" + T.Text + "'";  // at most MaxNameLength
    case TTok::Integer:
    case TTok::Float: return "the number " + T.Text;
    case TTok::String: return "the string " + QuoteForMessage(T.Text);
    case TTok::Symbol: return "'" + T.Text + "'";
    case TTok::Hash: return "'" + T.Text + "'";  // at most MaxNameLength
    }
    return {};
}

class TLexer {
public:
    TLexer(std::string_view Text, const std::string& FileName) : FText(Text), FFileName(FileName) {
        // A UTF-8 byte order mark is not part of the form.
        if (FText.substr(0, 3) == "\xEF\xBB\xBF") FPos = 3;
    }

    [[noreturn]] void Fail(TFormPos At, const std::string& What) const {
        throw EFormError(FFileName, At.Line, At.Column, What);
    }

    TToken Next() {
        SkipBlanks();
        TToken T;
        T.Pos = Here();
        if (AtEnd()) return T;
        char C = Peek();
        if (IsAlpha(C)) {
            T.Kind = TTok::Ident;
            while (!AtEnd() && (IsAlpha(Peek()) || IsDigit(Peek()))) {
                T.Text += Take();
                if (T.Text.size() > FormLimits::MaxNameLength) NameTooLong(T, "a name");
            }
        } else if (IsDigit(C) || C == '$') {
            ReadNumber(T);
        } else if (C == '#' && LettersFollow()) {
            // "#ff0000": with letters it is no character code (those are
            // decimal) but a colour as the web writes it, which the reader
            // checks.
            T.Kind = TTok::Hash;
            T.Text += Take();
            while (!AtEnd() && (IsAlpha(Peek()) || IsDigit(Peek()))) {
                T.Text += Take();
                if (T.Text.size() > FormLimits::MaxNameLength) NameTooLong(T, "a colour");
            }
        } else if (C == '\'' || C == '#') {
            T.Kind = TTok::String;
            ReadString(T);
        } else if (std::string_view("=:.,[]()+-").find(C) != std::string_view::npos) {
            T.Kind = TTok::Symbol;
            T.Text = std::string(1, Take());
        } else {
            auto U = static_cast<unsigned char>(C);
            // Built by appending: GCC 12 at -O3 misreports "#" + std::string
            // as an overlapping copy (-Wrestrict).
            std::string Shown;
            if (U >= 0x80) {
                Shown = "a non-ASCII character";
            } else if (U < 32 || U == 127) {
                Shown.push_back('#');
                Shown.append(std::to_string(U));
            } else {
                Shown.push_back('\'');
                Shown.push_back(C);
                Shown.push_back('\'');
            }
            Fail(T.Pos, "unexpected character " + Shown);
        }
        return T;
    }

    // Stops at the first character over the limit: a megabyte-long name
    // costs no more than a short one.
    [[noreturn]] void NameTooLong(const TToken& T, const char* What) const {
        Fail(T.Pos, std::string(What) + " longer than " + std::to_string(FormLimits::MaxNameLength) +
                        " characters (starting " + QuoteForMessage(T.Text, 20) + ")");
    }

private:
    bool AtEnd() const { return FPos >= FText.size(); }
    char Peek(std::size_t Ahead = 0) const {
        return FPos + Ahead < FText.size() ? FText[FPos + Ahead] : '\0';
    }
    TFormPos Here() const { return {FLine, FColumn}; }
    char Take() {
        char C = FText[FPos++];
        if (C == '\n') {
            ++FLine;
            FColumn = 1;
        } else if ((static_cast<unsigned char>(C) & 0xC0) != 0x80) {
            // Continuation bytes of a UTF-8 sequence share their letter's column.
            ++FColumn;
        }
        return C;
    }
    // Whether the '#' here is followed by a run of letters and digits with
    // a letter among them.
    bool LettersFollow() const {
        for (std::size_t Ahead = 1; IsAlpha(Peek(Ahead)) || IsDigit(Peek(Ahead)); ++Ahead)
            if (IsAlpha(Peek(Ahead))) return true;
        return false;
    }

    void SkipBlanks() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\r' || Peek() == '\n')) Take();
    }

    void ReadNumber(TToken& T) {
        if (Peek() == '$') {
            Take();
            std::string Digits;
            while (!AtEnd() && IsHexDigit(Peek())) {
                Digits += Take();
                if (Digits.size() >= FormLimits::MaxNameLength) {
                    T.Text = "$" + Digits;
                    NameTooLong(T, "a number");
                }
            }
            if (Digits.empty()) Fail(T.Pos, "expected hexadecimal digits after '$'");
            T.Text = "$" + Digits;
            std::uint64_t V = 0;
            auto [P, Ec] = std::from_chars(Digits.data(), Digits.data() + Digits.size(), V, 16);
            if (Ec != std::errc() || V > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
                Fail(T.Pos, "the number " + T.Text + " is too large");
            T.Kind = TTok::Integer;
            T.Int = static_cast<std::int64_t>(V);
            return;
        }
        auto Digits = [&] {
            while (!AtEnd() && IsDigit(Peek())) {
                T.Text += Take();
                if (T.Text.size() > FormLimits::MaxNameLength) NameTooLong(T, "a number");
            }
        };
        Digits();
        bool Fraction = false;
        if (Peek() == '.' && IsDigit(Peek(1))) {
            Fraction = true;
            T.Text += Take();
            Digits();
        }
        if ((Peek() == 'e' || Peek() == 'E') &&
            (IsDigit(Peek(1)) || ((Peek(1) == '-' || Peek(1) == '+') && IsDigit(Peek(2))))) {
            Fraction = true;
            T.Text += Take();
            if (Peek() == '-' || Peek() == '+') T.Text += Take();
            Digits();
        }
        if (IsAlpha(Peek())) Fail(Here(), "unexpected '" + std::string(1, Peek()) + "' after the number " + T.Text);
        if (Fraction) {
            T.Kind = TTok::Float;
            return;
        }
        T.Kind = TTok::Integer;
        auto [P, Ec] = std::from_chars(T.Text.data(), T.Text.data() + T.Text.size(), T.Int, 10);
        if (Ec != std::errc()) Fail(T.Pos, "the number " + T.Text + " is too large");
    }

    [[noreturn]] void StringTooLong(TFormPos At) const {
        Fail(At, "a string longer than " + std::to_string(FormLimits::MaxStringLength) + " bytes");
    }

    // A string token is a run of quoted pieces and #nnn characters with
    // nothing between them: 'a'#13#10'b'.
    void ReadString(TToken& T) {
        int Pieces = 0;
        while (!AtEnd() && (Peek() == '\'' || Peek() == '#')) {
            ++Pieces;
            T.Hash.clear();
            TFormPos Start = Here();
            if (Take() == '\'') {
                for (;;) {
                    if (AtEnd() || Peek() == '\n' || Peek() == '\r')
                        Fail(Start, "unterminated string: expected ' before the end of the " +
                                        std::string(AtEnd() ? "file" : "line"));
                    char C = Take();
                    if (C == '\'') {
                        if (Peek() != '\'') break;
                        Take();
                    }
                    T.Text += C;
                    if (T.Text.size() > FormLimits::MaxStringLength) StringTooLong(T.Pos);
                }
            } else {
                std::string Digits;
                int Base = 10;
                if (Peek() == '$') {
                    Take();
                    Base = 16;
                        while (!AtEnd() && IsHexDigit(Peek())) Digits += Take();
                } else {
                    while (!AtEnd() && IsDigit(Peek())) Digits += Take();
                }
                std::uint32_t Cp = 0;
                auto [P, Ec] = std::from_chars(Digits.data(), Digits.data() + Digits.size(), Cp, Base);
                if (Digits.empty() || Ec != std::errc() || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF))
                    Fail(Start, "expected a character code (0 to 1114111) after '#'");
                // Codes below 128 are single bytes; above, the character is
                // stored in UTF-8 like every other text.
                AppendUtf8(T.Text, Cp);
                if (Pieces == 1 && Base == 10) T.Hash = "#" + Digits;
                if (T.Text.size() > FormLimits::MaxStringLength) StringTooLong(T.Pos);
            }
        }
    }

    std::string_view FText;
    const std::string& FFileName;
    std::size_t FPos = 0;
    int FLine = 1;
    int FColumn = 1;
};

class TParser {
public:
    TParser(std::string_view Text, const std::string& FileName) : FLex(Text, FileName) {
        if (Text.size() > FormLimits::MaxFormBytes)
            FLex.Fail({1, 1}, "the form is " + std::to_string(Text.size()) + " bytes long; at most " +
                                  std::to_string(FormLimits::MaxFormBytes) + " bytes are read");
        Advance();
    }

    std::unique_ptr<TFormObject> ParseForm() {
        if (!IsKeyword("object")) Expected("'object' at the start of the form");
        auto Root = ParseObject(1);
        if (FTok.Kind != TTok::Eof) Expected("the end of the file after the root object's 'end'");
        return Root;
    }

    TFormValue ParseSingleValue() {
        FSingleValue = true;
        TFormValue V = ParseValue();
        if (FTok.Kind != TTok::Eof) Expected("the end of the value");
        return V;
    }

private:
    void Advance() { FTok = FLex.Next(); }
    bool IsSymbol(char C) const { return FTok.Kind == TTok::Symbol && FTok.Text[0] == C; }
    bool IsKeyword(std::string_view K) const { return FTok.Kind == TTok::Ident && SameKeyword(FTok.Text, K); }

    [[noreturn]] void Expected(const std::string& What) const {
        FLex.Fail(FTok.Pos, "expected " + What + ", found " + DescribeToken(FTok, FSingleValue));
    }

    std::string ExpectIdent(const std::string& What) {
        if (FTok.Kind != TTok::Ident) Expected(What);
        std::string S = FTok.Text;
        Advance();
        return S;
    }

    // Depth: 1 for the root object. The limits are checked before anything
    // of the object is read, so the place is its "object" keyword.
    std::unique_ptr<TFormObject> ParseObject(int Depth) {
        if (Depth > FormLimits::MaxDepth)
            FLex.Fail(FTok.Pos, "objects nested more than " + std::to_string(FormLimits::MaxDepth) +
                                    " levels deep");
        if (++FObjectCount > FormLimits::MaxObjects)
            FLex.Fail(FTok.Pos, "more than " + std::to_string(FormLimits::MaxObjects) + " objects in the form");
        auto Obj = std::make_unique<TFormObject>();
        Obj->Pos = FTok.Pos;
        Advance();  // "object"
        Obj->ClassPos = FTok.Pos;
        std::string First = ExpectIdent("a component name after 'object'");
        if (IsSymbol(':')) {
            Advance();
            Obj->Name = std::move(First);
            Obj->ClassPos = FTok.Pos;
            Obj->ClassName = ExpectIdent("a class name after '" + Obj->Name + ":'");
        } else {
            Obj->ClassName = std::move(First);
        }
        std::string Title = Obj->Name.empty() ? Obj->ClassName : Obj->Name + ": " + Obj->ClassName;
        for (;;) {
            if (FTok.Kind == TTok::Eof)
                FLex.Fail(FTok.Pos, "object " + Title + " (line " + std::to_string(Obj->Pos.Line) +
                                        ") is not closed: expected 'end' before the end of the file");
            if (IsKeyword("end")) {
                Advance();
                return Obj;
            }
            if (IsKeyword("object")) {
                Obj->Children.push_back(ParseObject(Depth + 1));
                continue;
            }
            if (IsKeyword("inherited") || IsKeyword("inline"))
                FLex.Fail(FTok.Pos, "'" + FTok.Text + "' objects are not supported; use 'object'");
            if (FTok.Kind != TTok::Ident) Expected("a property name, 'object' or 'end' in object " + Title);
            Obj->Properties.push_back(ParseProperty());
        }
    }

    TFormProperty ParseProperty() {
        TFormProperty P;
        P.Pos = FTok.Pos;
        P.Name = ExpectIdent("a property name");
        while (IsSymbol('.')) {
            Advance();
            P.Name += '.';
            P.Name += ExpectIdent("a property name after '" + P.Name + "'");
            if (P.Name.size() > FormLimits::MaxNameLength)
                FLex.Fail(P.Pos, "a property name longer than " + std::to_string(FormLimits::MaxNameLength) +
                                     " characters (starting " + QuoteForMessage(P.Name, 20) + ")");
        }
        if (!IsSymbol('=')) Expected("'=' after the property name " + P.Name);
        Advance();
        P.Value = ParseValue();
        return P;
    }

    TFormValue ParseValue() {
        TFormValue V;
        V.Pos = FTok.Pos;
        if (FTok.Kind == TTok::String) {
            V.Kind = TFormValue::TKind::vkString;
            std::string Hash = FTok.Hash;
            bool Joined = false;
            V.Text = ParseStringExpr(&Joined);
            if (!Joined) V.Hash = std::move(Hash);
        } else if (FTok.Kind == TTok::Hash) {
            V.Kind = TFormValue::TKind::vkHash;
            V.Text = FTok.Text;
            Advance();
        } else if (IsSymbol('-') || IsSymbol('+') || FTok.Kind == TTok::Integer || FTok.Kind == TTok::Float) {
            bool Negative = false;
            if (FTok.Kind == TTok::Symbol) {
                Negative = FTok.Text[0] == '-';
                Advance();
                if (FTok.Kind != TTok::Integer && FTok.Kind != TTok::Float) Expected("a number after the sign");
            }
            if (FTok.Kind == TTok::Float) {
                V.Kind = TFormValue::TKind::vkFloat;
                V.Text = (Negative ? "-" : "") + FTok.Text;
            } else {
                V.Kind = TFormValue::TKind::vkInteger;
                V.Int = Negative ? -FTok.Int : FTok.Int;
                V.Text = (Negative ? "-" : "") + FTok.Text;
            }
            Advance();
        } else if (FTok.Kind == TTok::Ident && !IsKeyword("end") && !IsKeyword("object")) {
            V.Kind = TFormValue::TKind::vkIdent;
            V.Text = FTok.Text;
            Advance();
        } else if (IsSymbol('[')) {
            V.Kind = TFormValue::TKind::vkSet;
            Advance();
            if (!IsSymbol(']')) {
                for (;;) {
                    V.Items.push_back(ExpectIdent("a value name in the set"));
                    if (IsSymbol(']')) break;
                    if (!IsSymbol(',')) Expected("',' or ']' in the set");
                    Advance();
                }
            }
            Advance();  // "]"
        } else if (IsSymbol('(')) {
            V.Kind = TFormValue::TKind::vkList;
            Advance();
            while (!IsSymbol(')')) {
                if (FTok.Kind != TTok::String) Expected("a string or ')' in the list");
                V.Items.push_back(ParseStringExpr());
            }
            Advance();  // ")"
        } else {
            Expected("a value");
        }
        return V;
    }

    // Joined, when given, tells whether pieces were joined with '+'.
    std::string ParseStringExpr(bool* Joined = nullptr) {
        std::string S = FTok.Text;
        Advance();
        while (IsSymbol('+')) {
            if (Joined) *Joined = true;
            Advance();
            if (FTok.Kind != TTok::String) Expected("a string after '+'");
            if (S.size() + FTok.Text.size() > FormLimits::MaxStringLength)
                FLex.Fail(FTok.Pos, "a string longer than " + std::to_string(FormLimits::MaxStringLength) +
                                        " bytes, joined with '+'");
            S += FTok.Text;
            Advance();
        }
        return S;
    }

    TLexer FLex;
    TToken FTok;
    bool FSingleValue = false;
    std::size_t FObjectCount = 0;
};

}  // namespace

std::string TFormValue::Describe() const {
    switch (Kind) {
    case TKind::vkInteger: return "the integer " + Text;
    case TKind::vkFloat: return "the number " + Text;
    case TKind::vkString: return "the string " + QuoteForMessage(Text);
    case TKind::vkIdent: return "the identifier " + Text;
    case TKind::vkHash: return "the colour " + Text;
    case TKind::vkSet: return "a set";
    case TKind::vkList: return "a string list";
    }
    return {};
}

std::unique_ptr<TFormObject> ParseFormText(std::string_view Text, const std::string& FileName) {
    return TParser(Text, FileName).ParseForm();
}

TFormValue ParseFormValue(std::string_view Text, const std::string& SourceName) {
    return TParser(Text, SourceName).ParseSingleValue();
}

std::string QuoteFormString(std::string_view S) {
    if (S.empty()) return "''";
    std::string Out;
    bool InQuote = false;
    for (char C : S) {
        auto U = static_cast<unsigned char>(C);
        if (U < 32 || U == 127) {
            if (InQuote) Out += '\'';
            InQuote = false;
            Out += '#';
            Out += std::to_string(U);
            continue;
        }
        if (!InQuote) Out += '\'';
        InQuote = true;
        Out += C;
        if (C == '\'') Out += '\'';
    }
    if (InQuote) Out += '\'';
    return Out;
}

std::string QuoteForMessage(std::string_view S, std::size_t MaxChars) {
    std::string Shown;
    std::size_t Chars = 0;
    std::size_t I = 0;
    while (I < S.size() && Chars < MaxChars) {
        auto U = static_cast<unsigned char>(S[I]);
        // The length of a well-formed UTF-8 sequence starting here, or 0.
        std::size_t Len = U < 0x80 ? 1 : (U >= 0xC2 && U <= 0xDF) ? 2 : (U >= 0xE0 && U <= 0xEF) ? 3
                                     : (U >= 0xF0 && U <= 0xF4) ? 4 : 0;
        for (std::size_t K = 1; K < Len; ++K)
            if (I + K >= S.size() || (static_cast<unsigned char>(S[I + K]) & 0xC0) != 0x80) Len = 0;
        if (Len == 0) {
            Shown += "\xEF\xBF\xBD";  // U+FFFD
            ++I;
        } else {
            Shown.append(S.substr(I, Len));
            I += Len;
        }
        ++Chars;
    }
    std::string Out = QuoteFormString(Shown);
    if (I < S.size()) Out += "...";
    return Out;
}

}  // namespace pv
