-- The plug-in in Ardour, headless, on the "None (Dummy)" backend.
--
--   ardour7-lua session.lua create DIR NAME PRESET [INDEX=VALUE ...]
--     A session NAME in DIR with one stereo track that records three seconds of the
--     dummy backend's swelling sine sweep, then gets the plug-in with the preset
--     PRESET (its label) and the control values given (port index = value in the
--     port's units). Saved as NAME; then with an automation lane on OutputGain that
--     steps to +6 dB at 1.5 s (sample 72000), as "automated"; then, without the
--     plug-in, as "dry".
--   ardour7-lua session.lua check DIR NAME
--     Loads NAME, prints every control input of the plug-in as "control INDEX VALUE",
--     and saves the session again as the snapshot "reloaded".
--
-- Every step that fails ends the script with a line "failed: ..." and status 1.

local function fail (what)
	print ("failed: " .. what)
	io.stdout:flush ()
	os.exit (1)
end

local function start_engine ()
	if AudioEngine:set_backend ("None (Dummy)", "", "") == nil then fail ("no dummy backend") end
	AudioEngine:set_device_name ("Sine Sweep Swell")
	AudioEngine:set_sample_rate (48000)
	if AudioEngine:start (false) ~= 0 then fail ("the engine does not start") end
end

local function our_plugin (session)
	for route in session:get_routes ():iter () do
		if route:name () == "qz" then
			local processor = route:nth_plugin (0)
			if processor:isnil () then fail ("the track has no plug-in") end
			return route, processor
		end
	end
	fail ("no track qz")
end

local function save (session, snapshot)
	if session:save_state (snapshot, false, false, false, false, false) ~= 0 then fail ("saving " .. snapshot) end
end

local mode, dir, name = arg[1], arg[2], arg[3]
start_engine ()

if mode == "create" then
	local session = create_session (dir, name, 48000)
	if session == nil then fail ("creating the session") end
	local tracks = session:new_audio_track (2, 2, nil, 1, "qz", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
	local track = tracks:front ()
	track:input ():audio (0):connect ("system:capture_1")
	track:input ():audio (1):connect ("system:capture_2")
	track:rec_enable_control ():set_value (1, PBD.GroupControlDisposition.NoGroup)
	session:maybe_enable_record (false)
	session:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
	sleep (3)
	session:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)
	sleep (1)
	track:rec_enable_control ():set_value (0, PBD.GroupControlDisposition.NoGroup)
	if track:playlist ():region_list ():size () ~= 1 then fail ("recording the test signal") end
	local processor = ARDOUR.LuaAPI.new_plugin (session, "urn:tavelin:qz-multiband:stereo", ARDOUR.PluginType.LV2, "")
	if processor:isnil () then fail ("Ardour does not find the plug-in") end
	if track:add_processor_by_index (processor, 0, nil, true) ~= 0 then fail ("inserting the plug-in") end

	local plugin = processor:to_insert ():plugin (0)
	local preset = plugin:preset_by_label (arg[4])
	if preset == nil then fail ("no preset " .. arg[4]) end
	if not plugin:load_preset (preset) then fail ("loading the preset") end
	for i = 5, #arg do
		local index, value = arg[i]:match ("^(%d+)=(.+)$")
		if not ARDOUR.LuaAPI.set_processor_param (processor, tonumber (index), tonumber (value)) then
			fail ("setting control " .. arg[i])
		end
	end
	sleep (1) -- the process thread runs the plug-in with its new settings
	save (session, "")

	local lane, curve = ARDOUR.LuaAPI.plugin_automation (processor, 1)
	if lane:isnil () then fail ("no automation lane for OutputGain") end
	local gain = ARDOUR.LuaAPI.get_processor_param (processor, 1)
	curve:set_interpolation (Evoral.InterpolationStyle.Discrete) -- a step, not a ramp
	curve:add (Temporal.timepos_t (0), gain, false, false)
	curve:add (Temporal.timepos_t (72000), 6.0, false, false)
	local control = processor:to_automatable ():automation_control (
		Evoral.Parameter (ARDOUR.AutomationType.PluginAutomation, 0, 1), false)
	control:set_automation_state (ARDOUR.AutoState.Play)
	save (session, "automated")

	track:remove_processor (processor, nil, true)
	save (session, "dry")
	close_session ()
elseif mode == "check" then
	local session = load_session (dir, name)
	if session == nil then fail ("loading the session") end
	local _, processor = our_plugin (session)
	for index = 0, 52 do
		local value, ok = ARDOUR.LuaAPI.get_processor_param (processor, index)
		print (string.format ("control %d %.9g", index, value))
	end
	sleep (1)
	save (session, "reloaded")
	close_session ()
else
	fail ("unknown mode " .. tostring (mode))
end
print ("done")
io.stdout:flush ()
