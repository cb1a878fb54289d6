-- Wireshark dissector for the Orvik module bus, as the Tarnwell Orvik interface and
-- orvik-bus-sim capture it: link type LINKTYPE_USER0 (147), one packet per frame or per run of
-- noise, direction in the packet flags (inbound = from the bus to the PC, outbound = to the bus).
--
-- Frame: D5 82 type length data[length] sum xor; sum and xor cover type, length and data; a
-- length byte of 0 stands for 256. From the bus: type 1 status (204 bytes), type 0 breaker
-- setup reply (25 bytes). To the bus: a command code 2..13, data = node byte + payload.
--
-- Install: copy this file to ~/.local/lib/wireshark/plugins/ (Windows:
-- %APPDATA%\Wireshark\plugins\), or run: tshark -X lua_script:orvik.lua -r capture.pcapng

local orvik = Proto("orvik", "Orvik module bus")

local COMMANDS = {
    [2] = "CMD_TRIP_CURRENT", [3] = "CMD_TRIP_TIME", [4] = "CMD_WIGWAG_MODE",
    [5] = "CMD_WIGWAG_INTERVAL", [6] = "CMD_SWITCH_BREAKER", [7] = "CMD_DOUBLING",
    [8] = "CMD_DUAL_LED", [9] = "CMD_WIGWAG_ENABLE", [10] = "CMD_POWER_ON_DEFAULTS",
    [11] = "CMD_FLASHER", [12] = "CMD_FACTORY_DEFAULTS", [13] = "CMD_REQUEST_BREAKER_SETUP",
}
-- Payload bytes after the node byte.
local PAYLOAD = { [2] = 3, [3] = 2, [6] = 2, [4] = 1, [5] = 1, [7] = 1, [8] = 1, [9] = 1,
    [10] = 1, [11] = 1, [12] = 1, [13] = 1 }
local INBOUND_TYPES = { [0] = "breaker setup reply", [1] = "status" }
local JOINING = { [0] = "8 individual breakers", [1] = "1+2 are joined",
    [2] = "1+2 and 3+4 are joined", [3] = "1+2+3 are joined", [4] = "1+2+3 and 5+6 are joined" }
local WIGWAG_COMMAND = { [0] = "off", [1] = "steady", [2] = "flashing" }
local WIGWAG_STATUS = { [0] = "No wigwag enabled", [1] = "Wigwag is off",
    [2] = "Wigwag is steady", [3] = "Wigwag is flashing" }
local FLASHER = { [0] = "No Flasher enabled", [1] = "Flasher on breaker 5",
    [2] = "Flasher on breakers 5 and 6" }
local ON_OFF = { [0] = "off", [1] = "on" }
local ENABLE = { [0] = "disable", [1] = "enable" }

local f = orvik.fields
f.direction = ProtoField.string("orvik.direction", "Direction")
f.summary = ProtoField.string("orvik.summary", "Summary")
f.noise = ProtoField.uint16("orvik.noise_length", "Noise bytes")
f.sync = ProtoField.uint16("orvik.sync", "Sync", base.HEX)
f.type = ProtoField.uint8("orvik.type", "Type")
f.length = ProtoField.uint8("orvik.length", "Length byte")
f.data_length = ProtoField.uint16("orvik.data_length", "Data bytes")
f.node = ProtoField.uint8("orvik.node", "Node")
f.command = ProtoField.string("orvik.command", "Command")
f.kind = ProtoField.string("orvik.kind", "Frame")
f.breaker = ProtoField.uint8("orvik.breaker", "Breaker")
f.switch = ProtoField.uint8("orvik.switch", "Switch", base.DEC, ON_OFF)
f.trip_current = ProtoField.double("orvik.trip_current", "Trip current")
f.trip_time = ProtoField.double("orvik.trip_time", "Trip time")
f.wigwag_mode = ProtoField.uint8("orvik.wigwag_mode", "Wigwag mode", base.DEC, WIGWAG_COMMAND)
f.wigwag_interval = ProtoField.double("orvik.wigwag_interval", "Wigwag interval")
f.joining = ProtoField.uint8("orvik.joining_option", "Joining option", base.DEC, JOINING)
f.dual_led = ProtoField.uint8("orvik.dual_led", "Dual LED", base.DEC, ON_OFF)
f.wigwag_enable = ProtoField.uint8("orvik.wigwag_enable", "Wigwag", base.DEC, ENABLE)
f.power_on = ProtoField.uint8("orvik.power_on_mask", "Power on defaults", base.HEX)
f.flasher = ProtoField.uint8("orvik.flasher_mode", "Flasher", base.DEC, FLASHER)
f.value = ProtoField.uint8("orvik.value", "Value")
f.present = ProtoField.uint8("orvik.nodes_present", "Nodes present", base.HEX)
f.breakers_on = ProtoField.uint8("orvik.status.breakers_on", "Breakers on", base.HEX)
f.faults = ProtoField.uint8("orvik.status.faults", "Breaker faults", base.HEX)
f.current = ProtoField.double("orvik.status.current", "Current")
f.voltage = ProtoField.double("orvik.status.input_voltage", "Input voltage")
f.doubling = ProtoField.uint8("orvik.status.doubling", "Doubling/tripling", base.DEC, JOINING)
f.power_on_status = ProtoField.uint8("orvik.status.power_on_mask", "Power on defaults", base.HEX)
f.options = ProtoField.uint8("orvik.status.options", "Options", base.HEX)
f.opt_wigwag = ProtoField.uint8("orvik.status.wigwag", "Wigwag", base.DEC, WIGWAG_STATUS, 0x03)
f.opt_programmable = ProtoField.bool("orvik.status.programmable", "Programmable profile", 8,
    nil, 0x04)
f.opt_flasher = ProtoField.uint8("orvik.status.flasher", "Flasher", base.DEC, FLASHER, 0x18)
f.opt_dual_led = ProtoField.bool("orvik.status.dual_led", "Dual LED", 8, nil, 0x20)
f.status_interval = ProtoField.double("orvik.status.wigwag_interval", "Wigwag interval")
f.profile = ProtoField.uint8("orvik.status.fixed_profile", "Fixed profile")
f.setup_current = ProtoField.double("orvik.setup.trip_current", "Trip current")
f.setup_time = ProtoField.double("orvik.setup.trip_time", "Trip time")
f.sum = ProtoField.uint8("orvik.sum", "Sum", base.HEX)
f.sum_valid = ProtoField.bool("orvik.sum_valid", "Sum right")
f.xor = ProtoField.uint8("orvik.xor", "XOR", base.HEX)
f.xor_valid = ProtoField.bool("orvik.xor_valid", "XOR right")

local bad_sum = ProtoExpert.new("orvik.bad_sum", "Wrong sum byte", expert.group.CHECKSUM,
    expert.severity.WARN)
local bad_xor = ProtoExpert.new("orvik.bad_xor", "Wrong XOR byte", expert.group.CHECKSUM,
    expert.severity.WARN)
local truncated = ProtoExpert.new("orvik.truncated", "Frame ends early", expert.group.MALFORMED,
    expert.severity.WARN)
orvik.experts = { bad_sum, bad_xor, truncated }

local packet_direction = Field.new("frame.packet_flags_direction")

local function bit(value, n) return math.floor(value / 2 ^ n) % 2 == 1 end

local function tenths(v)
    return string.format("%d.%d", math.floor(v / 10), v % 10)
end

local function bit_list(mask)
    local out = {}
    for n = 0, 7 do
        if bit(mask, n) then out[#out + 1] = tostring(n + 1) end
    end
    return #out > 0 and table.concat(out, ", ") or "none"
end

-- Adds a value counted in tenths as a number in `unit`, shown as "label: 2.5 A".
local function add_tenths(tree, field, range, raw, label, unit)
    tree:add(field, range, raw / 10):set_text(label .. ": " .. tenths(raw) .. " " .. unit)
end

local function command(tree, code, data, node)
    local name = COMMANDS[code]
    local suffix = ", node " .. node
    if not name then return "command " .. code .. suffix end
    tree:add(f.command, name)
    local want = PAYLOAD[code]
    local n = data:len() - 1
    if n ~= want then
        return string.format("%s with %d payload byte%s (%d expected)%s", name, n,
            n == 1 and "" or "s", want, suffix)
    end
    local p = data(1)
    local v = p(0, 1):uint()
    if code == 2 then
        tree:add(f.breaker, p(0, 1), v + 1)
        local a = p(1, 2):le_uint()
        add_tenths(tree, f.trip_current, p(1, 2), a, "Trip current", "A")
        return "trip current breaker " .. (v + 1) .. " = " .. tenths(a) .. " A" .. suffix
    elseif code == 3 then
        tree:add(f.breaker, p(0, 1), v + 1)
        local t = p(1, 1):uint()
        add_tenths(tree, f.trip_time, p(1, 1), t, "Trip time", "s")
        return "trip time breaker " .. (v + 1) .. " = " .. tenths(t) .. " s" .. suffix
    elseif code == 4 then
        tree:add(f.wigwag_mode, p(0, 1))
        return "wigwag mode " .. (WIGWAG_COMMAND[v] or tostring(v)) .. suffix
    elseif code == 5 then
        add_tenths(tree, f.wigwag_interval, p(0, 1), v, "Wigwag interval", "s")
        return "wigwag interval " .. tenths(v) .. " s" .. (v == 0 and " (never flash)" or "") ..
            suffix
    elseif code == 6 then
        tree:add(f.breaker, p(0, 1), v + 1)
        local on = p(1, 1):uint()
        tree:add(f.switch, p(1, 1))
        return "switch breaker " .. (v + 1) .. " " .. (ON_OFF[on] or ("value " .. on)) .. suffix
    elseif code == 7 then
        tree:add(f.joining, p(0, 1))
        return "doubling/tripling: " .. (JOINING[v] or "Unknown option") .. suffix
    elseif code == 8 then
        tree:add(f.dual_led, p(0, 1))
        return "dual LED " .. (ON_OFF[v] or ("value " .. v)) .. suffix
    elseif code == 9 then
        tree:add(f.wigwag_enable, p(0, 1))
        return "wigwag " .. (ENABLE[v] or ("value " .. v)) .. suffix
    elseif code == 10 then
        local words = {}
        for b = 0, 7 do words[#words + 1] = bit(v, b) and "On" or "Off" end
        local text = table.concat(words, " ")
        tree:add(f.power_on, p(0, 1)):append_text(" (" .. text .. ")")
        return "power on defaults: " .. text .. suffix
    elseif code == 11 then
        tree:add(f.flasher, p(0, 1))
        return "flasher: " .. (FLASHER[v] or ("mode " .. v)) .. suffix
    end
    tree:add(f.value, p(0, 1))
    return (code == 12 and "set to factory defaults" or "breaker setup request") .. suffix
end

local function status(tree, data)
    local present = data(0, 1):uint()
    tree:add(f.present, data(0, 1)):append_text(" (nodes " .. bit_list(present) .. ")")
    if data:len() >= 204 then
        for n = 0, 7 do
            if bit(present, n) then
                local t = tree:add(orvik, data(0, 204), "Node " .. (n + 1))
                t:add(f.breakers_on, data(4 + n, 1)):append_text(
                    " (" .. bit_list(data(4 + n, 1):uint()) .. ")")
                t:add(f.faults, data(12 + n, 1)):append_text(
                    " (" .. bit_list(data(12 + n, 1):uint()) .. ")")
                for b = 0, 7 do
                    local r = data(20 + 2 * (8 * n + b), 2)
                    t:add(f.current, r, r:le_uint() / 10):set_text(
                        "Breaker " .. (b + 1) .. " current: " .. tenths(r:le_uint()) .. " A")
                end
                add_tenths(t, f.voltage, data(148 + 2 * n, 2), data(148 + 2 * n, 2):le_uint(),
                    "Input voltage", "V")
                t:add(f.doubling, data(164 + n, 1))
                t:add(f.power_on_status, data(172 + n, 1))
                local o = t:add(f.options, data(180 + n, 1))
                o:add(f.opt_wigwag, data(180 + n, 1))
                o:add(f.opt_programmable, data(180 + n, 1))
                o:add(f.opt_flasher, data(180 + n, 1))
                o:add(f.opt_dual_led, data(180 + n, 1))
                add_tenths(t, f.status_interval, data(188 + n, 1), data(188 + n, 1):uint(),
                    "Wigwag interval", "s")
                t:add(f.profile, data(196 + n, 1), data(196 + n, 1):uint() + 1)
            end
        end
    end
    return present == 0 and "status: no nodes present" or
        ("status: nodes " .. bit_list(present) .. " present")
end

local function setup_reply(tree, data, node)
    if data:len() >= 25 then
        for b = 0, 7 do
            local c = data(1 + 2 * b, 2)
            local t = data(17 + b, 1)
            tree:add(f.setup_current, c, c:le_uint() / 10):set_text(
                "Breaker " .. (b + 1) .. " trip current: " .. tenths(c:le_uint()) .. " A")
            tree:add(f.setup_time, t, t:uint() / 10):set_text(
                "Breaker " .. (b + 1) .. " trip time: " .. tenths(t:uint()) .. " s")
        end
    end
    return "breaker setup reply: node " .. node
end

function orvik.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "Orvik"
    local len = tvb:len()
    local root = tree:add(orvik, tvb())
    local dir = packet_direction()
    local outbound
    if dir and dir.value == 2 then outbound = true
    elseif dir and dir.value == 1 then outbound = false
    elseif len >= 3 then outbound = tvb(2, 1):uint() > 1 end
    root:add(f.direction, outbound and "to the bus" or "from the bus")

    if len < 6 or tvb(0, 1):uint() ~= 0xD5 or tvb(1, 1):uint() ~= 0x82 then
        root:add(f.noise, tvb(), len)
        root:add(f.kind, "noise")
        local s = "noise, " .. len .. (len == 1 and " byte" or " bytes")
        root:add(f.summary, s)
        pinfo.cols.info = s
        return len
    end

    root:add(f.sync, tvb(0, 2))
    local code = tvb(2, 1):uint()
    local type_item = root:add(f.type, tvb(2, 1))
    local lbyte = tvb(3, 1):uint()
    local wanted = lbyte == 0 and 256 or lbyte
    root:add(f.length, tvb(3, 1))
    local have = math.min(wanted, len - 4)
    root:add(f.data_length, tvb(3, 1), wanted)
    local data = tvb(4, have)
    local node = data(0, 1):uint() + 1
    local summary
    if outbound then
        type_item:append_text(" (" .. (COMMANDS[code] or "unknown command") .. ")")
        root:add(f.kind, "command")
        root:add(f.node, data(0, 1), node)
        summary = command(root, code, data, node)
    elseif code == 1 then
        type_item:append_text(" (status)")
        root:add(f.kind, "status")
        summary = status(root, data)
    elseif code == 0 then
        type_item:append_text(" (breaker setup reply)")
        root:add(f.kind, "breaker setup reply")
        root:add(f.node, data(0, 1), node)
        summary = setup_reply(root, data, node)
    else
        type_item:append_text(" (unknown type)")
        root:add(f.kind, "other type")
        summary = "frame type " .. code .. ", " .. have .. " data byte" .. (have == 1 and "" or "s")
    end

    -- Both checks cover type, length and data.
    local sum, x = 0, 0
    for i = 2, 3 + have do
        local b = tvb(i, 1):uint()
        sum = (sum + b) % 256
        local r, m = 0, 1
        for _ = 0, 7 do -- x = x XOR b, bit by bit
            if (math.floor(x / m) % 2) ~= (math.floor(b / m) % 2) then r = r + m end
            m = m * 2
        end
        x = r
    end
    local at = 4 + have
    if have < wanted or at >= len then
        root:add_proto_expert_info(truncated)
        summary = summary .. " (ends early)"
    else
        local s = tvb(at, 1):uint()
        local si = root:add(f.sum, tvb(at, 1))
        si:add(f.sum_valid, tvb(at, 1), s == sum)
        if s ~= sum then
            si:add_proto_expert_info(bad_sum, string.format("Wrong sum: 0x%02X, should be 0x%02X", s, sum))
            summary = "bad sum"
        elseif at + 1 < len then
            local xv = tvb(at + 1, 1):uint()
            local xi = root:add(f.xor, tvb(at + 1, 1))
            xi:add(f.xor_valid, tvb(at + 1, 1), xv == x)
            if xv ~= x then
                xi:add_proto_expert_info(bad_xor,
                    string.format("Wrong XOR: 0x%02X, should be 0x%02X", xv, x))
                summary = "bad XOR"
            end
        end
    end
    root:add(f.summary, summary)
    pinfo.cols.info = summary
    return len
end

DissectorTable.get("wtap_encap"):add(wtap.USER0, orvik)
