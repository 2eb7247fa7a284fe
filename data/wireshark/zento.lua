-- Zento recordings in Wireshark and tshark.
--
-- A Zento recording (zento-*.pcap, or a pcapng file that Wireshark's tools wrote from one) has
-- the link type 147, LINKTYPE_USER0. Every record is a direction byte (0: bytes from the board,
-- 1: bytes the program sent, a command) and then one batch of bytes exactly as the serial port
-- delivered or took it. Frames on the wire:
--
--   A5 5A | LEN | TYPE | payload (N - 4 bytes) | checksum | AA     N = LEN (0xFF: 2006)
--   checksum = (LEN + TYPE + payload bytes) mod 256
--
-- The frames of each direction are found in the stream of that direction's records by the same
-- rules as Zento's receiver (src/link/receiver.h), so Wireshark shows the frames the program
-- saw: a frame split across records is put together and shown in the record that completes it
-- (the record whose time the program's CSV gives the frame); a frame whose checksum is wrong is
-- shown with zento.checksum_ok false and an expert warning, and its values are not decoded.
-- Attitude (0xA1) and sensor (0xA2) frames are decoded as the program decodes them, so the values
-- print as the program's labels and `zento-decode --csv` show them.
--
-- Installed by the package into Wireshark's global Lua plugin folder; for one run without
-- installing: tshark -X lua_script:zento.lua -r zento-20261206-231500.pcap

local zento = Proto("zento", "Zento AHRS link")

local DIRECTIONS = { [0] = "from the board", [1] = "sent by the program" }
local TYPES = {
    [0xA1] = "attitude",
    [0xA2] = "sensor",
    [0xE0] = "gyroscope bias command",
    [0xE2] = "height zero command",
}

local COUNTS = { " counts" }
local F = {
    direction = ProtoField.uint8("zento.direction", "Direction", base.DEC, DIRECTIONS),
    frame = ProtoField.none("zento.frame", "Frame"),
    begun_in = ProtoField.framenum("zento.begun_in", "Begun in record"),
    ends_in = ProtoField.framenum("zento.ends_in", "Ends in record"),
    length = ProtoField.uint8("zento.length", "Length byte", base.DEC),
    type = ProtoField.uint8("zento.type", "Type", base.HEX, TYPES),
    payload = ProtoField.bytes("zento.payload", "Payload"),
    checksum = ProtoField.uint8("zento.checksum", "Checksum", base.HEX),
    checksum_ok = ProtoField.bool("zento.checksum_ok", "Checksum correct"),
    -- Attitude frame: single-precision values, as the program holds them.
    yaw = ProtoField.float("zento.yaw", "Yaw (°)"),
    pitch = ProtoField.float("zento.pitch", "Pitch (°)"),
    roll = ProtoField.float("zento.roll", "Roll (°)"),
    altitude = ProtoField.float("zento.altitude", "Altitude (m)"),
    temperature = ProtoField.float("zento.temperature", "Temperature (°C)"),
    pressure = ProtoField.float("zento.pressure", "Pressure (Pa)"),
    rate = ProtoField.float("zento.rate", "Attitude solutions per second"),
    -- Sensor frame: raw counts.
    accel_x = ProtoField.int16("zento.accel_x", "Accelerometer X", base.UNIT_STRING, COUNTS),
    accel_y = ProtoField.int16("zento.accel_y", "Accelerometer Y", base.UNIT_STRING, COUNTS),
    accel_z = ProtoField.int16("zento.accel_z", "Accelerometer Z", base.UNIT_STRING, COUNTS),
    gyro_x = ProtoField.int16("zento.gyro_x", "Gyroscope X", base.UNIT_STRING, COUNTS),
    gyro_y = ProtoField.int16("zento.gyro_y", "Gyroscope Y", base.UNIT_STRING, COUNTS),
    gyro_z = ProtoField.int16("zento.gyro_z", "Gyroscope Z", base.UNIT_STRING, COUNTS),
    mag_x = ProtoField.int16("zento.mag_x", "Magnetometer X", base.UNIT_STRING, COUNTS),
    mag_y = ProtoField.int16("zento.mag_y", "Magnetometer Y", base.UNIT_STRING, COUNTS),
    mag_z = ProtoField.int16("zento.mag_z", "Magnetometer Z", base.UNIT_STRING, COUNTS),
    skipped = ProtoField.uint32("zento.skipped", "Bytes outside frames"),
}
zento.fields = {
    F.direction, F.frame, F.begun_in, F.ends_in, F.length, F.type, F.payload, F.checksum,
    F.checksum_ok, F.yaw, F.pitch, F.roll, F.altitude, F.temperature, F.pressure, F.rate,
    F.accel_x, F.accel_y, F.accel_z, F.gyro_x, F.gyro_y, F.gyro_z, F.mag_x, F.mag_y, F.mag_z,
    F.skipped,
}

local E = {
    checksum = ProtoExpert.new("zento.checksum_bad", "Check-Sum Error! (the frame is dropped)",
        expert.group.CHECKSUM, expert.severity.WARN),
    broken = ProtoExpert.new("zento.broken",
        "Error! Com: no end byte at the announced end (the frame is dropped)",
        expert.group.MALFORMED, expert.severity.WARN),
    short = ProtoExpert.new("zento.short", "Shorter than its type's layout: not decoded",
        expert.group.MALFORMED, expert.severity.NOTE),
    unfinished = ProtoExpert.new("zento.unfinished", "Frame continues in a later record",
        expert.group.REASSEMBLE, expert.severity.CHAT),
    record = ProtoExpert.new("zento.bad_record", "Not a Zento record",
        expert.group.MALFORMED, expert.severity.ERROR),
}
zento.experts = { E.checksum, E.broken, E.short, E.unfinished, E.record }

-- The attitude frame's words and their divisors (the pressure word counts 10 Pa).
local ATTITUDE = {
    { F.yaw, 10 }, { F.pitch, 10 }, { F.roll, 10 }, { F.altitude, 10 }, { F.temperature, 10 },
    { F.pressure, 0.1 }, { F.rate, 1 },
}
local SENSOR = {
    F.accel_x, F.accel_y, F.accel_z, F.gyro_x, F.gyro_y, F.gyro_z, F.mag_x, F.mag_y, F.mag_z,
}
local ATTITUDE_MIN, SENSOR_MIN = 17, 21 -- LEN + TYPE + payload + checksum

local byte, sub, find = string.byte, string.sub, string.find

-- The receiver's state for one direction, between records. `buf` holds the frame being
-- collected from its length byte on; `armed` is true when the next 0x5A starts a frame (after
-- an 0xA5, at the start, after a frame ended or broke); `prev` the stream's last byte (only to
-- show an 0xA5 right before the 0x5A as the frame's first byte).
local function fresh()
    return { on = false, armed = true, len = 0, count = 0, buf = "", prev = -1,
             head = "", begun = 0, start = 0 }
end

local function copy(st)
    local c = {}
    for k, v in pairs(st) do c[k] = v end
    return c
end

-- Per file: the state of each direction as the first, in-order pass left it, the state each
-- record started from (so that a record dissected again later, out of order, gives the same
-- frames), and where the frames that records left unfinished were completed.
local current, before, completed, pending

function zento.init()
    current = { [0] = fresh(), [1] = fresh() }
    before, completed, pending = {}, {}, { [0] = {}, [1] = {} }
end

-- Runs the receiver over one record's batch `s` (1-based in the string; byte i of `s` is at
-- `base + i - 1` in the record) and returns what happened, in order.
local function receive(st, s, base, number)
    local events, skipped = {}, 0
    local i, n = 1, #s
    local function reset()
        st.on, st.armed, st.count, st.len = false, true, 0, 0
    end
    local function broken(at)
        events[#events + 1] = { kind = "broken", at = at, begun = st.begun }
        reset()
    end
    while i <= n do
        local b = byte(s, i)
        local header = true -- b goes on to header detection
        if st.on then
            header = false
            if st.count == 0 then -- the length byte
                st.buf, st.count = string.char(b), 1
                st.len = (b == 0xFF) and 2006 or b
                if st.len < 2 then broken(base + i - 1) end
                st.prev, i = b, i + 1
            elseif st.count < st.len - 1 then -- data up to the announced end, in one piece
                local k = math.min(st.len - 1 - st.count, n - i + 1)
                st.buf = st.buf .. sub(s, i, i + k - 1)
                st.count = st.count + k
                st.prev, i = byte(s, i + k - 1), i + k
            elseif b == 0xAA then -- the end byte where it belongs
                local sum = 0
                for j = 1, st.count - 1 do sum = sum + byte(st.buf, j) end
                events[#events + 1] = {
                    kind = "frame", ok = sum % 256 == byte(st.buf, st.count),
                    wire = st.head .. st.buf .. "\170", begun = st.begun, start = st.start,
                    ends = base + i - 1,
                }
                reset()
                st.prev, i = b, i + 1
            else -- no end byte at the announced end: the frame is broken; b may start the next
                broken(base + i - 1)
                header = true
            end
        end
        if header then
            if b == 0xA5 then
                st.armed = true
            elseif b == 0x5A then
                if st.armed then
                    st.on, st.count, st.buf = true, 0, ""
                    st.head = (st.prev == 0xA5) and "\165\90" or "\90"
                    st.begun, st.start = number, base + i - #st.head
                    if #st.head == 2 and st.start >= base and skipped > 0 then
                        skipped = skipped - 1 -- the 0xA5 belongs to the frame
                    end
                end
                st.armed = false
            end
            if not st.on then skipped = skipped + 1 end
            st.prev, i = b, i + 1
            if not st.on and i <= n then
                -- Outside a frame only 0xA5 and 0x5A do anything: skip to the next.
                local j = find(s, "[\165\90]", i) or (n + 1)
                if j > i then
                    skipped = skipped + (j - i)
                    st.prev, i = byte(s, j - 1), j
                end
            end
        end
    end
    return events, skipped
end

-- The sign-magnitude word at offset `at` (from 0) of the frame's bytes.
local function word(wire, at)
    local hi, lo = byte(wire, at + 1, at + 2)
    local m = (hi % 128) * 256 + lo
    return (hi >= 128) and (0 - m) or m -- 0 - 0 is +0: never a "-0"
end

-- Shows one complete frame; `tvb` holds exactly its wire bytes.
local function show_frame(tree, pinfo, tvb, ev)
    local hl = (byte(ev.wire, 1) == 0xA5) and 2 or 1
    local t = tvb(hl + 1, 1):uint()
    local count = tvb:len() - hl - 1 -- LEN through checksum
    local name = TYPES[t] or "other"
    local ft = tree:add(F.frame, tvb())
    ft:set_text(string.format("Frame: %s (0x%02x), %d bytes", name, t, tvb:len()))
    if ev.begun ~= pinfo.number then ft:add(F.begun_in, ev.begun) end
    ft:add(F.length, tvb(hl, 1))
    local ti = ft:add(F.type, tvb(hl + 1, 1))
    if not TYPES[t] then ti:set_text(string.format("Type: other (0x%02x)", t)) end
    if count > 3 then ft:add(F.payload, tvb(hl + 2, count - 3)) end
    ft:add(F.checksum, tvb(hl + count - 1, 1))
    ft:add(F.checksum_ok, tvb(hl + count - 1, 1), ev.ok)
    if not ev.ok then
        ft:add_proto_expert_info(E.checksum)
        ft:append_text(" [Check-Sum Error!]")
        return name .. " [Check-Sum Error!]"
    end
    local p = hl + 2
    if t == 0xA1 or t == 0xA2 then
        if count < ((t == 0xA1) and ATTITUDE_MIN or SENSOR_MIN) then
            ft:add_proto_expert_info(E.short)
            return name .. " [short]"
        end
    end
    if t == 0xA1 then
        for k, f in ipairs(ATTITUDE) do
            ft:add(f[1], tvb(p + 2 * (k - 1), 2), word(ev.wire, p + 2 * (k - 1)) / f[2])
        end
    elseif t == 0xA2 then
        for k, f in ipairs(SENSOR) do
            ft:add(f, tvb(p + 2 * (k - 1), 2), word(ev.wire, p + 2 * (k - 1)))
        end
    end
    return name
end

function zento.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "Zento"
    local root = tree:add(zento, tvb())
    if tvb:len() < 1 or tvb(0, 1):uint() > 1 then
        root:add_proto_expert_info(E.record, tvb:len() < 1 and "Record without a direction byte"
            or string.format("Direction %d (0 or 1 expected)", tvb(0, 1):uint()))
        pinfo.cols.info = "not a Zento record"
        return
    end
    local d = tvb(0, 1):uint()
    root:add(F.direction, tvb(0, 1))
    root:append_text(", " .. DIRECTIONS[d])

    -- The state this record starts from: on the first pass the state the previous record of its
    -- direction left; afterwards the one kept for it.
    local first = not pinfo.visited
    local st
    if first then
        before[pinfo.number] = copy(current[d])
        st = current[d]
    else
        st = copy(before[pinfo.number] or fresh())
    end
    local events, skipped = receive(st, tvb:raw(1), 1, pinfo.number)

    local names = {}
    for _, ev in ipairs(events) do
        if ev.kind == "frame" then
            local ftvb
            if ev.begun == pinfo.number and ev.start >= 1 then
                ftvb = tvb(ev.start, ev.ends - ev.start + 1):tvb()
            else
                ftvb = ByteArray.new(ev.wire, true):tvb("Zento frame")
            end
            names[#names + 1] = show_frame(root, pinfo, ftvb, ev)
        else
            local it = root:add(F.frame, tvb(ev.at, 1))
            it:set_text("Broken frame: no end byte at the announced end")
            if ev.begun ~= pinfo.number then it:add(F.begun_in, ev.begun) end
            it:add_proto_expert_info(E.broken)
            names[#names + 1] = "[Error! Com]"
        end
        if first and ev.begun ~= pinfo.number then
            for _, r in ipairs(pending[d]) do completed[r] = pinfo.number end
        end
        if first then pending[d] = {} end
    end
    if st.on then -- a frame continues in a later record
        local from = (st.begun == pinfo.number) and st.start or 1
        if from < 1 then from = 1 end
        local it = root:add(F.frame, tvb(from, tvb:len() - from))
        it:set_text(string.format("Frame begun, %d bytes collected", st.count))
        if completed[pinfo.number] then it:add(F.ends_in, completed[pinfo.number]) end
        it:add_proto_expert_info(E.unfinished)
        if first then table.insert(pending[d], pinfo.number) end
    end
    if skipped > 0 then root:add(F.skipped, skipped) end

    local info = DIRECTIONS[d]
    if #names > 0 then
        info = info .. ": " .. table.concat(names, ", ")
    elseif tvb:len() == 1 then
        info = info .. ": no bytes" .. (pinfo.number == 1 and " (the start of the recording)" or "")
    end
    if st.on then info = info .. " (a frame continues)" end
    pinfo.cols.info = info
end

DissectorTable.get("wtap_encap"):add(wtap_encaps.USER0, zento)
