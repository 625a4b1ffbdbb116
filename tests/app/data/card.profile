; The simulated card the configurator's tests talk to: the NV items of
; tests/app/data/Config_Info.ini and the LED patterns.

[card]
firmware = 31.742.06.19.208
pcb = LWX4201-MBR3-QK7A Ver.C
dashboard = LWDS31.742.06.19.208
board_type = MODEL-A
model = LW-X4201
; the older firmware generation: every described item applies
new_version_mark = 0x00
port_state = 1
port_mask = 0x14

[nv]
; the IMEI 356789012345678
550 = 08 3A 65 87 09 21 43 65 87
; 7, Yes, 300
60000 = 07 01 2C 01
; America: 2, 32 (with Band extra On at byte 2), 8 at byte 1
60010 = 02
60011 = 20 00 01
60012 = 00 08
60020 = "text"
60021 = 01
60030 = FF FF FF FF
60031 = 10 0E 00 00
60040 = 00
60041 = 02
60042 = 01
; bits 0 and 3
60050 = 09
60070 = 01
; status 1: blue 5, off 5; statuses 2 and 3: green 10; status 4 holds nothing
; status 5: red 2, off 2, blue 2, off 2, cyan 1; status 6: yellow 5, off 5; status 7: violet 1,
; off 9; status 8 holds nothing
50012 = 01 05 00 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 02 0A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 02 0A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
50013 = 04 02 00 02 01 02 00 02 03 01 00 00 00 00 00 00 00 00 00 00 06 05 00 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 05 01 00 09 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00

[inactive]
items = 60060
