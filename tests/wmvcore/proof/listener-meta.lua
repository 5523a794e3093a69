-- A VLC interface for the listeners' test: once the item being played carries meta data (the
-- stream's, after a reference has led VLC to it), prints its address and each meta entry once,
-- then leaves VLC playing.
local deadline = vlc.misc.mdate() + 30000000
while vlc.misc.mdate() < deadline do
    local item = vlc.input.item()
    if item and item:metas()["title"] then
        vlc.msg.info("LISTENER-META uri " .. item:uri())
        for name, value in pairs(item:metas()) do
            vlc.msg.info("LISTENER-META " .. name .. "=" .. value)
        end
        return
    end
    vlc.misc.mwait(vlc.misc.mdate() + 100000)
end
