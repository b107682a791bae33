// The tablebase tool: what the tables say of a position, in the words of a
// game score.
#include "tbtools.h"

#include <cstdio>
#include <string>
#include <vector>

#include "board.h"
#include "san.h"
#include "tablebase.h"
#include "toolargs.h"

static const char* tbUsage = "usage: quillantor tb probe [FEN] --path DIR\n";

// The SAN of the moves whose result is one of wdls, in generation order,
// blank separated; "(none)" for none.
static std::string movesWith(Board* board, const RootTablebase& root,
                             const std::vector<TbWdl>& wdls) {
    std::string text;
    for (const TablebaseMove& m : root.moves) {
        bool wanted = false;
        for (TbWdl w : wdls) wanted = wanted || m.wdl == w;
        if (!wanted) continue;
        char san[SAN_TEXT_SIZE];
        moveToSan(board, &m.move, san);
        if (!text.empty()) text += ' ';
        text += san;
    }
    return text.empty() ? "(none)" : text;
}

static int probeTool(Board* board, int argc, char** argv) {
    std::string fen, path;
    bool havePath = false;
    for (int i = 3; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--path") {
            if (++i >= argc) break;
            path = argv[i];
            havePath = true;
        } else if (arg.rfind("--", 0) == 0) {
            havePath = false;
            break;
        } else {
            if (!fen.empty()) fen += ' ';
            fen += arg;
        }
    }
    if (!havePath || path.empty()) {
        fputs(tbUsage, stderr);
        return 2;
    }
    if (!setupToolFen(board, fen.empty() ? std::string(initialPosition) : fen)) return 2;
    const TablebaseFiles files = initTablebases(path);
    if (files.largest == 0) {
        std::string why;
        for (const std::string& problem : files.problems) {
            if (!why.empty()) why += "; ";
            why += problem;
        }
        fprintf(stderr, "no tables in %s%s%s\n", path.c_str(), why.empty() ? "" : ": ",
                why.c_str());
        return 2;
    }
    // Files left out while others are used: said, and the probe goes on.
    for (const std::string& problem : files.problems) fprintf(stderr, "%s\n", problem.c_str());
    printf("tables: %d WDL, %d DTZ, up to %d pieces\n", files.wdlTables, files.dtzTables,
           files.largest);
    const u32 fifty = fiftyMoveCount(board);
    RootTablebase root;
    if (!probeRoot(board, fifty, &root)) {
        printf("not in the tables\n");
        freeTablebases();
        return 1;
    }
    printf("fifty-move count: %u\n", fifty);
    printf("WDL: %s\n", wdlName(root.wdl));
    printf("DTZ: %d\n", root.dtz);
    printf("winning: %s\n", movesWith(board, root, {WDL_WIN}).c_str());
    printf("drawing: %s\n",
           movesWith(board, root, {WDL_CURSED_WIN, WDL_DRAW, WDL_BLESSED_LOSS}).c_str());
    printf("losing: %s\n", movesWith(board, root, {WDL_LOSS}).c_str());
    for (const TablebaseMove& m : root.moves) {
        char san[SAN_TEXT_SIZE];
        moveToSan(board, &m.move, san);
        printf("  %-7s %-11s dtz %d\n", san, wdlName(m.wdl), m.dtz);
    }
    // What the engine keeps at this root, with the fifty-move rule and
    // without it.
    for (const bool rule : {true, false}) {
        const RootChoice choice = rankRootMoves(root, rule);
        std::string kept;
        for (const Move& m : choice.moves) {
            char san[SAN_TEXT_SIZE];
            moveToSan(board, &m, san);
            if (!kept.empty()) kept += ' ';
            kept += san;
        }
        printf("kept%s: %s (score %d)\n", rule ? "" : " without the fifty-move rule",
               kept.empty() ? "(none)" : kept.c_str(), choice.score);
    }
    freeTablebases();
    return 0;
}

int tablebaseTool(Board* board, int argc, char** argv) {
    const std::string tool = argc > 2 ? argv[2] : "";
    if (tool == "probe") return probeTool(board, argc, argv);
    fputs(tbUsage, stderr);
    return 2;
}
