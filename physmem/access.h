// The only accesses to mapped memory: each is one load or one store of exactly its width,
// never dropped, merged or split. Out of line, so that each compiles to the one
// instruction the armv5 preset finds in it (tests/armv5/access.txt).
#pragma once

#include <cstdint>

uint8_t mem_load(const volatile uint8_t *at);
uint16_t mem_load(const volatile uint16_t *at);
uint32_t mem_load(const volatile uint32_t *at);
void mem_store(volatile uint8_t *at, uint8_t value);
void mem_store(volatile uint16_t *at, uint16_t value);
void mem_store(volatile uint32_t *at, uint32_t value);
