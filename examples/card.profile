; A TAVRIO Linkwave 3G data card as the simulator plays it. cardsim reads this file and never
; writes it; an NV backup on the simulated card saves the items to its state file instead.
; The card carries every NV item the example description reads; a test that needs an item the
; card does not carry lists it in a profile of its own ([inactive] items = ...).

[card]
pcui_name = TAVRIO Linkwave - 3G PC UI Interface
modem_name = TAVRIO Linkwave - 3G Modem
; the driver installs an application port before the PC UI interface
other_port = TAVRIO Linkwave - 3G Application Interface (COM14)
pcui_port = 12
modem_port = 13
firmware = 31.742.06.19.208
pcb = LWX4201-MBR3-QK7A Ver.C
dashboard = LWDS31.742.06.19.208
board_type = MODEL-A
model = LW-X4201
; "OK" to the DIAG switch, as most cards of the family answer (none: nothing)
qcdmg_reply = OK
new_version_mark = 0x00
request_id_probe = unknown
port_state = 1
port_mask = 0x1F
mode = 0
reset_gone_ms = 2000

[diag]
; what general DIAG tools ask first: the version packet, the ESN, the status packet, the DIAG
; version and the extended build id
; the ESN left out is 0x80 followed by the IMEI's serial number, as here
esn = 0x80039447
rf_mode = 1
diag_version = 8
compile_date = Mar 18 2026
compile_time = 09:41:27
release_date = Mar 18 2026
release_time = 10:05:00
; left out: the model, the firmware text and the model again
version_dir = LW-X4201
build_id = 31.742.06.19.208
build_model = LW-X4201
station_class_mark = 0x2A
cai_revision = 6
mobile_model = 0x42
firmware_revision = 0x0312
slot_cycle_index = 2
msm_major = 3
msm_minor = 0x10
msm_hw_version = 0x0A2104E1
mobile_model_id = 0x00004201

[nv]
; IMEI 356789012345672: length 8, type nibble A, then the digits low half first
550 = 08 3A 65 87 09 21 43 65 27
; network selection
10 = 04
441 = 80 03 E8 07
946 = 00 00 00 00
850 = 02
1877 = 00
; radio access and data service
4118 = 08
4398 = 06
4399 = 01
6828 = 01
6829 = 00
6830 = 00
905 = 01
; fast dormancy off
6907 = 00
; dial-up and connection
3649 = 00 00
453 = 00
1192 = 04 00
; SIM and PIN handling
6876 = 00
6877 = 01
; feature switches: one bit each in byte 0
50020 = 0B
; dashboard behaviour: auto-run bit 0, auto-connect bit 1, tray icon bit 2
50021 = 05
; power save timers (seconds, word and dword)
50030 = 3C 00
50031 = 10 0E 00 00
; language and region
50040 = 01
50041 = 56 00
; LED switch (bit 0) and brightness (1: normal)
50060 = 01
50061 = 01
; SMS storage and service centre
50050 = 01
; a number of the range kept free for fiction
50051 = "+447700900500"
; LED patterns: statuses 1 to 4, then 5 to 8; ten 2-byte steps (colour bits, time in 100 ms)
50012 = 02 05 00 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 02 0A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 05 00 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 0A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
50013 = 04 02 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 06 05 00 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 07 01 00 09 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00

[read_only]
items = 550
