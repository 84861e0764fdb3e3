#include "access.h"

uint8_t mem_load(const volatile uint8_t *at) {
    return *at;
}
uint16_t mem_load(const volatile uint16_t *at) {
    return *at;
}
uint32_t mem_load(const volatile uint32_t *at) {
    return *at;
}
void mem_store(volatile uint8_t *at, uint8_t value) {
    *at = value;
}
void mem_store(volatile uint16_t *at, uint16_t value) {
    *at = value;
}
void mem_store(volatile uint32_t *at, uint32_t value) {
    *at = value;
}
