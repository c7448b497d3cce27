#include <gtest/gtest.h>

#include "platform/runtime_error.h"
#include "platform/val.h"

namespace {

// The disk count as the loop reads it: Val, then rounding to 16 bits. -99999 marks error 6.
int Cantidad(const char* texto) {
    try {
        return platform::CInt(platform::Val(QString::fromUtf8(texto)));
    } catch (const platform::RuntimeError& e) {
        EXPECT_EQ(e.number(), 6) << texto;
        return -99999;
    }
}

TEST(ValTest, CountsReadLikeTheRunTime) {
    const std::pair<const char*, int> casos[] = {
        {"3", 3},
        {" 3", 3},
        {"1 2", 12},
        {"3abc", 3},
        {"abc", 0},
        {"", 0},
        {"-1", -1},
        {"+4", 4},
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"0.5", 0},
        {"1.5", 2},
        {"\t7\n", 7},
        {"1e3", 1000},
        {"1E+2", 100},
        {"25e-1", 2},
        {"1d2", 100},
        {"1e", 1},
        {".5", 0},
        {"&H10", 16},
        {"&h1F", 31},
        {"&HFFFF", -1},
        {"&O17", 15},
        {"&Hzz", 0},
        {"32767", 32767},
        {"-32768", -32768},
        {"32767.5", -99999},
        {"40000", -99999},
        {"1e10", -99999},
        {"1e400", -99999},
        {"1e-400", 0},
        {"&H10000", -99999},
        {"3,5", 3},
        {"١٢", 0},
    };
    for (const auto& [texto, esperado] : casos)
        EXPECT_EQ(Cantidad(texto), esperado) << texto;
}

TEST(Aritmetica16Test, LeavingTheRangeRaisesOverflow) {
    EXPECT_EQ(platform::Add16(32766, 1), 32767);
    EXPECT_EQ(platform::Subtract16(-32767, 1), -32768);
    EXPECT_THROW(platform::Add16(32767, 1), platform::RuntimeError);
    EXPECT_THROW(platform::Subtract16(-32768, 1), platform::RuntimeError);
}

}  // namespace
