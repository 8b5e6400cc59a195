#pragma once

// An order table and a customer table written through the engine, laid out as the sample
// ORDERS.DB and CUSTOMER.DB of the corpus are: the same file names, fields and types, 224
// orders from number 1001, the first three shipped by UPS in April 1988. Tests that query
// them run the same on these tables as on copies of the corpus's.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/sql/executor.h"

namespace pdx::sql::testing {

inline constexpr int kWrittenOrders = 224;

inline std::string month_first(std::chrono::year_month_day day) {
    char text[16];
    std::snprintf(text, sizeof text, "%u/%u/%d", static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()), static_cast<int>(day.year()));
    return text;
}

inline std::string order_row(int i) {
    using namespace std::chrono;
    static constexpr const char* kVias[] = {"UPS", "DHL", "FedEx", "Emery", "US Mail", "NULL"};
    static constexpr const char* kPayments[] = {"Credit", "Check", "Visa", "Cash", "AmEx"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const sys_days sale_day = sys_days{1988y / April / 3} + days{i * 3 + i % 2};
    const year_month_day sale{sale_day};
    const year_month_day ship{sale_day + days{2 + i % 9}};
    const std::string via = i < 3 ? "UPS" : kVias[(i * 7) % 6];
    const int total = 500 + (i * 7919) % 14500;
    const int paid = i % 4 == 0 ? total / 2 : total;
    return "(" + std::to_string(1001 + i) + ", " + std::to_string(1221 + (i * 37) % 500) + ", '" +
           month_first(sale) + "', '" + month_first(ship) + "', " +
           (via == "NULL" ? via : "'" + via + "'") + ", " + std::to_string(total) + ", " +
           std::to_string(paid) + ", " + std::to_string(total - paid) + ", '" +
           (i % 2 == 0 ? "FOB" : "Net 30") + "', '" + kPayments[i % 5] + "', '" +
           kMonths[static_cast<unsigned>(sale.month()) - 1] + "')";
}

// Writes ORDERS.DB (keyed on "Order No") and CUSTOMER.DB (an auto-increment key and a memo,
// empty for every third customer) into `directory`.
inline void write_order_tables(const std::filesystem::path& directory) {
    Executor sql(directory);
    sql.execute(
        "CREATE TABLE \"ORDERS.DB\" (\"Order No\" float, \"Customer No\" float, \"Sale Date\" "
        "date, \"Ship Date\" date, \"Ship VIA\" char(7), \"Total Invoice\" money, \"Amount "
        "Paid\" money, \"Balance Due\" money, Terms char(6), \"Payment Method\" char(7), Month "
        "char(3), PRIMARY KEY (\"Order No\"))");
    std::string insert = "INSERT INTO Orders VALUES ";
    for (int i = 0; i < kWrittenOrders; ++i)
        insert += (i > 0 ? ", " : "") + order_row(i);
    sql.execute(insert);

    sql.execute(
        "CREATE TABLE \"CUSTOMER.DB\" (CustNo autoinc, FirstName char(51), LastName char(50), "
        "City char(15), Comments memo(110), DateEntered date, PRIMARY KEY (CustNo))");
    std::string customers = "INSERT INTO Customer (FirstName, LastName, City, Comments) VALUES ";
    for (int i = 0; i < 60; ++i)
        customers += (i > 0 ? ", ('" : "('") + std::string("First") + std::to_string(i) +
                     "', 'Last" + std::to_string(i) + "', 'City" + std::to_string(i % 7) + "', " +
                     (i % 3 == 0 ? std::string("NULL")
                                 : "'Customer " + std::to_string(i) + ": " +
                                       std::string(130, static_cast<char>('a' + i % 26)) + "'") +
                     ")";
    sql.execute(customers);
}

}  // namespace pdx::sql::testing
