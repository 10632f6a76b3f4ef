// What the server tests share: the throwaway server's connection strings and databases.
#pragma once

#include "pg_test_server.h"

#include <gtest/gtest.h>

inline QString conninfo(const QString &role = {})
{
    const QString c = testpg::conninfo(role);
    if (c.isEmpty())
        ADD_FAILURE() << "no test server: run the tests with ctest";
    return c;
}

using ServerDatabase = testpg::Database;
