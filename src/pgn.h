// Games in PGN, the notation game collections are kept in: tag pairs such
// as [White "..."], then the moves in SAN with move numbers, comments,
// variations and annotation glyphs, ended by the result.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct PgnGame {
    int line = 0;   // line of the text where the game starts, from 1
    std::vector<std::pair<std::string, std::string>> tags;
    std::vector<std::string> moves;   // the main line as written (SAN), numbers stripped
    std::string error;                // why the game cannot be trusted; empty when it can
};

// Reads the games of a PGN text one by one. Comments ({...} and ; to the
// end of the line), variations ((...), nested), annotation glyphs ($n),
// move numbers, "%" escape lines and tokens without a letter or digit
// ("!?") are skipped. A game ends at its result, at the next tag line or
// at the end of the text.
class PgnReader {
public:
    // The reader keeps a reference to the text, which must outlive it: a
    // temporary is refused at compile time.
    explicit PgnReader(const std::string& pgnText) : text(pgnText) {}
    explicit PgnReader(std::string&&) = delete;

    // The next game into *game; false when only white space, comments or
    // nothing are left. A broken tag, a comment or variation left open, or
    // a ')' without its '(' is reported in game->error; the reader goes on
    // with the next game.
    bool next(PgnGame* game);

private:
    const std::string& text;
    size_t at = 0;
    int line = 1;

    bool atLineStart() const;
    void skipLine();
    bool skipBlanks();
    void readTag(PgnGame* game);
    void skipComment(PgnGame* game);
};

// The value of a tag of the game, empty when it has none.
std::string pgnTag(const PgnGame& game, const std::string& name);
