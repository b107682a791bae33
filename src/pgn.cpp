#include "pgn.h"

#include <cctype>
#include <cstring>

// A NUL byte (a UTF-16 file, a damaged one) separates like white space: it
// can be no part of a move, and the reader must move past it.
static bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == '\0';
}

// Characters that end a move token: they open or close something of their
// own. (strchr would find the string's own terminator for a NUL.)
static bool endsToken(char c) {
    return isBlank(c) || (c != '\0' && strchr("{};()[]$<>", c) != nullptr);
}

std::string pgnTag(const PgnGame& game, const std::string& name) {
    for (const auto& tag : game.tags)
        if (tag.first == name) return tag.second;
    return "";
}

bool PgnReader::atLineStart() const {
    for (size_t i = at; i > 0; i--) {
        const char c = text[i - 1];
        if (c == '\n') return true;
        if (!isBlank(c)) return false;
    }
    return true;
}

void PgnReader::skipLine() {
    while (at < text.size() && text[at] != '\n') at++;
}

// Skips white space, counting lines; false at the end of the text.
bool PgnReader::skipBlanks() {
    while (at < text.size() && isBlank(text[at])) {
        if (text[at] == '\n') line++;
        at++;
    }
    return at < text.size();
}

// [Name "value"] on one line; a value may hold \" and \\.
void PgnReader::readTag(PgnGame* game) {
    const int tagLine = line;
    const size_t start = at;
    auto broken = [&]() {
        if (game->error.empty())
            game->error = "broken tag on line " + std::to_string(tagLine) + ": " +
                          text.substr(start, text.find('\n', start) - start);
        skipLine();
    };
    at++;   // '['
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) at++;
    std::string name;
    while (at < text.size() && (isalnum(static_cast<unsigned char>(text[at])) || text[at] == '_'))
        name += text[at++];
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) at++;
    if (name.empty() || at >= text.size() || text[at] != '"') return broken();
    at++;
    std::string value;
    for (;;) {
        if (at >= text.size() || text[at] == '\n') return broken();
        const char c = text[at++];
        if (c == '"') break;
        if (c == '\\' && at < text.size() && (text[at] == '"' || text[at] == '\\'))
            value += text[at++];
        else value += c;
    }
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) at++;
    if (at >= text.size() || text[at] != ']') return broken();
    at++;
    game->tags.emplace_back(name, value);
}

// From '{' to the matching '}'; comments do not nest.
void PgnReader::skipComment(PgnGame* game) {
    const int commentLine = line;
    while (++at < text.size() && text[at] != '}')
        if (text[at] == '\n') line++;
    if (at < text.size()) at++;
    else if (game->error.empty())
        game->error =
            "the comment opened on line " + std::to_string(commentLine) + " is not closed";
}

static bool isResult(const std::string& token) {
    return token == "1-0" || token == "0-1" || token == "1/2-1/2" || token == "*";
}

// The move of a token: without a leading move number ("12.", "12...");
// empty when nothing of a move is left.
static std::string moveOfToken(const std::string& token) {
    size_t i = 0;
    while (i < token.size() && isdigit(static_cast<unsigned char>(token[i]))) i++;
    size_t j = i;
    while (j < token.size() && token[j] == '.') j++;
    // "0-0" and "0-0-0" begin with a digit but are moves: a number ends in
    // its dot, or the token is nothing but the number.
    if (i == token.size()) return "";
    std::string move = j > i ? token.substr(j) : token;
    for (const char c : move)
        if (isalnum(static_cast<unsigned char>(c))) return move == "e.p." ? "" : move;
    return "";
}

bool PgnReader::next(PgnGame* game) {
    *game = PgnGame();
    bool started = false;
    int depth = 0;   // variations open
    for (;;) {
        if (!skipBlanks()) break;
        const char c = text[at];
        if (c == '%' && atLineStart()) {
            skipLine();
            continue;
        }
        if (!started) {
            started = true;
            game->line = line;
        }
        if (c == '[') {
            // Tags after moves belong to the next game: this one had no result.
            if (!game->moves.empty() || depth > 0) break;
            readTag(game);
        } else if (c == '{') {
            skipComment(game);
        } else if (c == ';') {
            skipLine();
        } else if (c == '(') {
            depth++;
            at++;
        } else if (c == ')') {
            if (depth == 0 && game->error.empty())
                game->error = "')' without '(' on line " + std::to_string(line);
            if (depth > 0) depth--;
            at++;
        } else if (c == '}' || c == ']') {
            if (game->error.empty())
                game->error =
                    std::string("'") + c + "' out of place on line " + std::to_string(line);
            at++;
        } else if (c == '$' || c == '<' || c == '>') {
            at++;
            while (at < text.size() && !endsToken(text[at])) at++;
        } else {
            const size_t start = at;
            while (at < text.size() && !endsToken(text[at])) at++;
            const std::string token = text.substr(start, at - start);
            if (depth > 0) continue;
            if (isResult(token)) return true;
            const std::string move = moveOfToken(token);
            if (!move.empty()) game->moves.push_back(move);
        }
    }
    if (depth > 0 && game->error.empty()) game->error = "a variation is not closed";
    return started && (!game->tags.empty() || !game->moves.empty() || !game->error.empty());
}
