#include "Pipe.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tess::test {
namespace {

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

TEST(PipeTest, CarriesBytesAndClosesItsEnds)
{
    int readEnd = -1;
    int writeEnd = -1;
    {
        Pipe pipe;
        EXPECT_EQ(pipe.read, -1);
        EXPECT_EQ(pipe.write, -1);
        ASSERT_TRUE(pipe.open());
        readEnd = pipe.read;
        writeEnd = pipe.write;
        for (int fd : {readEnd, writeEnd}) {
            EXPECT_EQ(::fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);  // never reaches a child program
        }

        ASSERT_EQ(::write(pipe.write, "abc", 3), 3);
        pipe.closeWrite();
        EXPECT_EQ(pipe.write, -1);
        EXPECT_FALSE(isOpen(writeEnd));
        pipe.closeWrite();  // closing twice is harmless
        char buffer[8];
        EXPECT_EQ(::read(pipe.read, buffer, sizeof buffer), 3);
        EXPECT_EQ(::read(pipe.read, buffer, sizeof buffer), 0);  // the writer is gone
        EXPECT_TRUE(isOpen(readEnd));
    }
    EXPECT_FALSE(isOpen(readEnd));
}

}  // namespace
}  // namespace tess::test
