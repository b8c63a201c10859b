// The address book on disk survives the program being killed at any moment of a save:
// a child process saves a large book over an old one and is sent SIGKILL after a
// random delay within the time a save takes; the file left behind must be the old book
// or the new one, whole, and it must load.
#include "AddrBookFixture.h"

#include <chrono>
#include <csignal>
#include <random>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// 20 systems x 10 fleets x 25 units: a file of about half a megabyte.
void fill(AddrBook& book, const std::string& tag)
{
    for (uint32_t s = 1; s <= 20; ++s)
        for (uint32_t f = 1; f <= 10; ++f)
            for (uint32_t u = 1; u <= 25; ++u) {
                book.AddAddr({s, f, u * 7});
                TreeItem* unit = book.FindAddr({s, f, u * 7});
                book.CommitField(unit, velkor::AddrField::Name, tag + " unit " + std::to_string(u));
                book.CommitField(unit, velkor::AddrField::Comment,
                                 tag + " comment of a unit in fleet " + std::to_string(f));
            }
}

// Forks a child that saves book to path and kills it delayUs after it starts; true
// when the kill came before the child finished.
bool killDuringSave(AddrBook& book, const std::string& path, long delayUs)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        const char go = 1;
        if (::write(ready[1], &go, 1) != 1)
            ::_exit(3);
        ::_exit(book.SaveData(path).ok() ? 0 : 2);
    }
    ::close(ready[1]);
    char go = 0;
    const bool started = ::read(ready[0], &go, 1) == 1;
    ::close(ready[0]);
    if (started && delayUs > 0)
        ::usleep(static_cast<useconds_t>(delayUs));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace

class AddrBookCrash : public AddrBookFixture { };

TEST_F(AddrBookCrash, KilledSaveLeavesTheOldBookOrTheNewOneWhole)
{
    AddrBook oldBook{notices};
    prepare(oldBook);
    fill(oldBook, "old");
    AddrBook newBook{notices};
    prepare(newBook);
    fill(newBook, "new");
    ASSERT_TRUE(oldBook.SaveData(path("old.ini")).ok());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(newBook.SaveData(path("new.ini")).ok());
    const long saveUs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
    const std::string oldText = readFile(path("old.ini"));
    const std::string newText = readFile(path("new.ini"));
    ASSERT_NE(oldText, newText);
    ASSERT_GT(oldText.size(), 250000u);

    // Delays spread over the whole save, fork and start-up included, and a little past
    // its end.
    std::mt19937 random(20261209);
    std::uniform_int_distribution<long> delay(0, saveUs * 3 / 2 + 2000);
    int oldSeen = 0, newSeen = 0, killedInSave = 0;
    for (int round = 0; round < 40; ++round) {
        writeFile(path(), oldText);
        if (killDuringSave(newBook, path(), delay(random)))
            ++killedInSave;
        const std::string onDisk = readFile(path());
        if (onDisk == oldText)
            ++oldSeen;
        else if (onDisk == newText)
            ++newSeen;
        else
            FAIL() << "round " << round << ": the file is neither book (" << onDisk.size() << " bytes)";
    }
    // The temporary files of the killed saves go with the next save.
    const auto temporaries = [this] {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            n += e.path().filename().string().rfind("addrbook.ini.tmp-", 0) == 0 ? 1 : 0;
        return n;
    };
    const int leftBehind = temporaries();
    ASSERT_TRUE(newBook.SaveData(path()).ok());
    EXPECT_EQ(temporaries(), 0);

    // The file that is left loads as the book it is.
    AddrBook loaded{notices};
    prepare(loaded);
    ASSERT_TRUE(loaded.LoadData(path()).ok());
    EXPECT_EQ(loaded.CountNodes().units, 20u * 10u * 25u);
    std::printf("save %ld us; 40 kills: %d during the save, file old %d times, new %d times, %d temporary files "
                "left behind\n",
                saveUs, killedInSave, oldSeen, newSeen, leftBehind);
}
