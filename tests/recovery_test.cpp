// Recovery parts through the engines: a set of six parts and three recovery
// parts loses every combination of up to three of its nine files, deleted,
// damaged or cut short, and still joins to the very file; a loss more is
// refused, writing nothing; a repair puts the set back as it was made.
#include <gtest/gtest.h>

#include <unistd.h>

#include "join/join_engine.h"
#include "join/part_check.h"
#include "join/repair.h"
#include "split/split_engine.h"
#include "test_files.h"

namespace {

const int kRecovery = 3;

struct MadeSet {
    ScratchDir dir;
    std::string input, program;
    std::vector<int> parts;  // every file's index: 0 ... last, then -1 ... -3
    std::map<int, std::string> bytes;

    MadeSet()
    {
        input = dir / "data.bin", program = dir / "program";
        WritePattern(program, 4096, 7);
        WritePattern(input, 5 * 12000 + 3001, 8);
        Folder folder;
        EXPECT_TRUE(FolderOfFile(input.c_str(), &folder, 0));
        ProgramImage image = {program.c_str(), 0, 0, false};
        SplitOptions options = {false, 0, kRecovery};
        SplitResult r = SplitFile(&folder, input.c_str(), 12 * 1024, &image, &options, 0);
        FolderClose(&folder);
        EXPECT_EQ(r.fault, kSplitDone);
        EXPECT_EQ(r.last_part, 5);  // six parts
        for (int i = -kRecovery; i <= r.last_part; i++) {
            parts.push_back(i);
            bytes[i] = ReadBytes(dir / PartName("data", i));
            EXPECT_LE(bytes[i].size(), 12u * 1024) << PartName("data", i);
        }
    }
    // A copy of the set in a folder of its own.
    void CopyTo(const ScratchDir &to) const
    {
        for (auto &part : bytes)
            WriteBytes(to / PartName("data", part.first), part.second);
    }
};

const MadeSet &TheSet()
{
    static MadeSet set;
    return set;
}

JoinResult Join(const std::string &given, const std::string &out, bool repair_in_place = false)
{
    PartSet set;
    OpenPartSet(given.c_str(), &set);
    EXPECT_EQ(set.state, kSetReady) << given;
    Folder folder;
    EXPECT_TRUE(OpenFolder(out.c_str(), &folder, 0));
    JoinRequest request;
    request.make_copy = false;
    request.output_folder = &folder;
    request.repair_set = repair_in_place ? WriteBackParts : 0;
    JoinResult r = set.state == kSetReady ? JoinParts(&set, &request, 0) : JoinResult();
    ClosePartSet(&set);
    FolderClose(&folder);
    return r;
}

enum Loss { kDeleted, kDamaged, kCutShort };

void Lose(const ScratchDir &dir, int index, Loss loss)
{
    std::string path = dir / PartName("data", index), bytes = ReadBytes(path);
    if (loss == kDeleted)
        ASSERT_EQ(unlink(path.c_str()), 0);
    else if (loss == kDamaged)
        bytes[bytes.size() / 2] ^= 0x5A, WriteBytes(path, bytes);
    else
        WriteBytes(path, bytes.substr(0, bytes.size() - 777));
}

class Losing : public testing::TestWithParam<Loss> {};

TEST_P(Losing, AnyThreeOfTheNineFilesAndTheFileComesBack)
{
    const MadeSet &made = TheSet();
    std::string original = ReadBytes(made.input);
    int files = (int)made.parts.size(), patterns = 0;
    for (uint32_t lost = 0; lost < 1u << files; lost++) {
        if (__builtin_popcount(lost) > kRecovery)
            continue;
        ScratchDir dir, out;
        made.CopyTo(dir);
        std::string given = dir / PartName("data", 0);
        for (int f = 0; f < files; f++)
            if (lost >> f & 1)
                Lose(dir, made.parts[f], GetParam());
        // Without a head part, the first recovery part left opens the set.
        if ((lost >> kRecovery & 1) && GetParam() == kDeleted)
            for (int f = 0; f < kRecovery && given == dir / PartName("data", 0); f++)
                if (!(lost >> (kRecovery - 1 - f) & 1))
                    given = dir / PartName("data", -(f + 1));
        JoinResult r = Join(given, out.path());
        ASSERT_EQ(r.status, kJoinDone) << "lost, as bits: " << lost;
        ASSERT_TRUE(ReadBytes(out / "data.bin") == original) << "lost, as bits: " << lost;
        patterns++;
    }
    EXPECT_EQ(patterns, 1 + 9 + 36 + 84);
}

INSTANTIATE_TEST_SUITE_P(Every, Losing, testing::Values(kDeleted, kDamaged, kCutShort));

// A rebuild that cannot write what it rebuilds says so, and leaves no part
// cut short in its place: in place, or at the end of the joined file.
TEST(Recovery, ARebuildThatCannotWriteSaysSo)
{
    const MadeSet &made = TheSet();
    for (bool in_place : {true, false}) {
        ScratchDir dir, out;
        made.CopyTo(dir);
        Lose(dir, 5, kDeleted);
        rlim_t limit = in_place ? 2048 : (rlim_t)SizeOf(made.input) - 1000;
        JoinResult r = UnderFileSizeLimit(limit, [&] { return Join(dir / PartName("data", 0), out.path(), in_place); });
        EXPECT_EQ(r.status, kJoinWriteFailed) << in_place;
        EXPECT_FALSE(Exists(dir / PartName("data", 5)));
        EXPECT_TRUE(Names(out.path()).empty()) << in_place;
    }
}

// Parts longer than the repair's window of a megabyte are rebuilt window
// by window: a lost part known beforehand from the sums made while joining,
// a damaged one met on the way by reading the set again.
TEST(Recovery, RebuildsPartsLongerThanItsWindow)
{
    ScratchDir dir, out;
    std::string input = dir / "data.bin", program = dir / "program";
    WritePattern(program, 4096, 7);
    WritePattern(input, 5 * 1300 * 1024 + 777, 9);
    std::string original = ReadBytes(input);
    Folder folder;
    ASSERT_TRUE(FolderOfFile(input.c_str(), &folder, 0));
    ProgramImage image = {program.c_str(), 0, 0, false};
    SplitOptions options = {false, 0, 2};
    SplitResult made = SplitFile(&folder, input.c_str(), 1600 * 1024, &image, &options, 0);
    FolderClose(&folder);
    ASSERT_EQ(made.fault, kSplitDone);
    Lose(dir, 2, kDeleted);
    JoinResult r = Join(dir / PartName("data", 0), out.path());
    ASSERT_EQ(r.status, kJoinDone);
    EXPECT_TRUE(ReadBytes(out / "data.bin") == original);
    ASSERT_EQ(unlink((out / "data.bin").c_str()), 0);
    Lose(dir, 3, kDamaged);
    r = Join(dir / PartName("data", 0), out.path());
    ASSERT_EQ(r.status, kJoinDone);
    EXPECT_EQ(r.fault_count, 2);
    EXPECT_TRUE(ReadBytes(out / "data.bin") == original);
}

// Four parts lost of a set with three recovery parts: named, with the one
// recovery part more it needs, and nothing written, whichever way it is met.
TEST(Recovery, OneLossTooManyWritesNothing)
{
    ScratchDir dir, out;
    TheSet().CopyTo(dir);
    for (int index : {1, 2})
        Lose(dir, index, kDeleted);
    for (int index : {4, 5})  // found only as they are read
        Lose(dir, index, kDamaged);
    NameSet before = Names(dir.path());
    JoinResult r = Join(dir / PartName("data", 0), out.path());
    EXPECT_EQ(r.status, kJoinBeyondRepair);
    EXPECT_EQ(r.more_needed, 1);
    EXPECT_EQ(Names(dir.path()), before);
    EXPECT_TRUE(Names(out.path()).empty());
    // A recovery part damaged too, in the stretch where the four are bad:
    // then two more are needed there, however it is found.
    Lose(dir, 4, kDeleted);
    Lose(dir, -1, kDamaged);
    r = Join(dir / PartName("data", 0), out.path());
    EXPECT_EQ(r.status, kJoinBeyondRepair);
    EXPECT_EQ(r.more_needed, 2);
    EXPECT_TRUE(Names(out.path()).empty());
}

// A repair in place writes the lost parts again, the head part with its
// own program, keeps a damaged one under another name, and leaves a set the
// check finds whole.
TEST(Recovery, RepairPutsTheSetBackAsItWasMade)
{
    const MadeSet &made = TheSet();
    ScratchDir dir, out;
    made.CopyTo(dir);
    Lose(dir, 3, kCutShort);
    Lose(dir, -2, kDeleted);
    Lose(dir, 0, kCutShort);
    JoinResult r = Join(dir / PartName("data", -1), out.path(), true);
    ASSERT_EQ(r.status, kJoinDone);
    EXPECT_EQ(r.fault_count, 3);
    EXPECT_EQ(r.set_aside, 2);
    EXPECT_FALSE(r.no_program);
    for (auto &part : made.bytes)
        EXPECT_TRUE(ReadBytes(dir / PartName("data", part.first)) == part.second) << part.first;
    EXPECT_TRUE(Exists(dir / (PartName("data", 3) + ".damaged")));
    EXPECT_TRUE(Names(out.path()).empty());
    PartSet set;
    OpenPartSet((dir / PartName("data", 0)).c_str(), &set);
    CheckResult check = CheckParts(&set, [](void *, const PartSet *, const PartState *) {}, 0, 0);
    ClosePartSet(&set);
    EXPECT_EQ(check.sound, check.parts);
    EXPECT_EQ(check.recovery_sound, kRecovery);
}

}  // namespace

// However the head part is lost, the set opens from whichever recovery part
// is sound, and comes back whole: a head part cut where its last 272 bytes
// are zeros (which reads as the bare program), one cut short beside a
// damaged first recovery part given by name.
TEST(Recovery, AHeadPartLostAnyWayOpensFromASoundRecoveryPart)
{
    const MadeSet &made = TheSet();
    std::string original = ReadBytes(made.input);
    for (int given : {0, -1}) {
        ScratchDir dir, out;
        made.CopyTo(dir);
        std::string head = made.bytes.at(0).substr(0, 2000);
        WriteBytes(dir / PartName("data", 0), given == 0 ? head + std::string(272, '\0') : head);
        if (given == -1)
            Lose(dir, -1, kDamaged);
        JoinResult r = Join(dir / PartName("data", given), out.path());
        ASSERT_EQ(r.status, kJoinDone) << given;
        EXPECT_TRUE(ReadBytes(out / "data.bin") == original) << given;
    }
}

// Damage found to the stretch: a set of 64 KB parts with one recovery part
// (stretches of 4 KB) meets each pattern; those where no two parts are bad
// at one place come back whole through the join and through a repair in
// place; the others are refused, writing nothing.
struct Spoil {
    int part;      // -1: the recovery part
    int at;        // byte of the part's stretch of the input (of the block, for -1); -1: delete it
    bool cut;      // cut the part short there instead of flipping a byte
};
struct Pattern {
    const char *name;
    std::vector<Spoil> spoils;
    bool repairable;
};
void PrintTo(const Pattern &p, std::ostream *os) { *os << p.name; }

class Stretches : public testing::TestWithParam<Pattern> {};

TEST_P(Stretches, RebuildWhereNoTwoPartsAreBadAtOnePlace)
{
    ScratchDir dir, out;
    std::string input = dir / "data.bin", program = dir / "program";
    WritePattern(program, 4096, 7);
    WritePattern(input, 490000, 5);
    std::string original = ReadBytes(input);
    Folder folder;
    ASSERT_TRUE(FolderOfFile(input.c_str(), &folder, 0));
    ProgramImage image = {program.c_str(), 0, 0, false};
    SplitOptions options = {false, 0, 1};
    ASSERT_EQ(SplitFile(&folder, input.c_str(), 64 * 1024, &image, &options, 0).fault, kSplitDone);
    FolderClose(&folder);
    ASSERT_EQ(unlink(input.c_str()), 0);
    std::map<int, std::string> made;
    for (int part = -1; part <= 7; part++)
        made[part] = ReadBytes(dir / PartName("data", part));
    ASSERT_TRUE(made[7].size() > 30000 && !Exists(dir / PartName("data", 8)));  // the set the spoils aim at
    for (const Spoil &spoil : GetParam().spoils) {
        std::string path = dir / PartName("data", spoil.part), bytes = ReadBytes(path);
        if (spoil.at < 0) {
            ASSERT_EQ(unlink(path.c_str()), 0);
            continue;
        }
        // Past the program in the head part, past the header in a recovery part.
        size_t at = (size_t)spoil.at + (spoil.part == 0 ? 4096 : spoil.part < 0 ? 52 : 0);
        ASSERT_LT(at, bytes.size()) << spoil.part;
        if (spoil.cut)
            bytes.resize(at);
        else
            bytes[at] ^= 0x40;
        WriteBytes(path, bytes);
    }
    NameSet before = Names(dir.path());
    PartSet checked;
    OpenPartSet((dir / PartName("data", 0)).c_str(), &checked);
    std::map<int64_t, PartState> told;
    CheckResult check = CheckParts(&checked, [](void *c, const PartSet *, const PartState *p) {
        (*(std::map<int64_t, PartState> *)c)[p->index] = *p;
    }, &told, 0);
    ClosePartSet(&checked);
    EXPECT_EQ(CheckedRepairable(&check), GetParam().repairable);
    // A flip's stretch is where the check says the damage starts.
    for (const Spoil &spoil : GetParam().spoils)
        if (!spoil.cut && spoil.at >= 0 && told[spoil.part].bad_stretches > 0)
            EXPECT_EQ(told[spoil.part].first_bad, spoil.at / told[spoil.part].stretch * told[spoil.part].stretch)
                << spoil.part;
    JoinResult r = Join(dir / PartName("data", 0), out.path());
    if (!GetParam().repairable) {
        EXPECT_EQ(r.status, kJoinBeyondRepair);
        EXPECT_EQ(Names(dir.path()), before);
        EXPECT_TRUE(Names(out.path()).empty());
        return;
    }
    ASSERT_EQ(r.status, kJoinDone);
    EXPECT_TRUE(ReadBytes(out / "data.bin") == original);
    PartSet set;
    OpenPartSet((dir / PartName("data", 0)).c_str(), &set);
    JoinResult back;
    WriteBackParts(&set, 0, 0, &back);
    ClosePartSet(&set);
    ASSERT_EQ(back.status, kJoinDone);
    for (auto &part : made)
        EXPECT_TRUE(ReadBytes(dir / PartName("data", part.first)) == part.second) << part.first;
}

INSTANTIATE_TEST_SUITE_P(Patterns, Stretches, testing::Values(
    Pattern{"AFlipInEveryPart", {{0, 100, false}, {1, 5000, false}, {2, 9000, false}, {3, 13000, false},
                                 {4, 17000, false}, {5, 21000, false}, {6, 25000, false}, {7, 29000, false}},
            true},
    Pattern{"TwoFlipsAtOnePlace", {{2, 5000, false}, {5, 5001, false}}, false},
    Pattern{"CutShortAndAFlipElsewhere", {{3, 60000, true}, {6, 100, false}}, true},
    Pattern{"CutShortOverAFlip", {{3, 40000, true}, {6, 50000, false}}, false},
    Pattern{"LastSliceCutAndAFlipPastItsEnd", {{7, 0, true}, {2, 60000, false}}, true},
    Pattern{"LastSliceLostAndAFlipPastItsEnd", {{7, -1, true}, {2, 60000, false}}, true},
    Pattern{"FlipsAtOnesEndAndTheNextOnesStart", {{2, 64000, false}, {3, 100, false}}, true},
    Pattern{"RecoveryAndSliceAtTwoPlaces", {{-1, 100, false}, {4, 30000, false}}, true},
    Pattern{"RecoveryAndSliceAtOnePlace", {{-1, 30000, false}, {4, 30001, false}}, false}),
    [](const testing::TestParamInfo<Pattern> &info) { return std::string(info.param.name); });
