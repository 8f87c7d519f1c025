// The record tests run with a QCoreApplication (the SQL driver is a plugin).
// Started with MP_RECORD_CHILD=<database>, the binary is instead the process
// that a crash test kills in the middle of a send (see RecordTest.cpp).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>

int RecordChild(const char* database);

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (const char* db = std::getenv("MP_RECORD_CHILD")) return RecordChild(db);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
