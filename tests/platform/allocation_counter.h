// Live blocks of operator new in this test program.
#pragma once
long LiveAllocationCount();
